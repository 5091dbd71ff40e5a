// SPDX-License-Identifier: Apache-2.0
// How the command line parser speaks: help texts wrapped to the width of a
// terminal, and its errors in the program's own form ("dravik: ...").
#pragma once

#include <CLI/CLI.hpp>

#include <cstddef>
#include <string>
#include <string_view>

/// CLI11's help, with every line longer than the width broken at spaces;
/// continuation lines start under the text they continue (an option's or a
/// subcommand's description, or the line's own indent).
class CWrappingFormatter : public CLI::Formatter {
  public:
    static constexpr std::size_t kWidth = 80;
    std::string make_help(const CLI::App* app, std::string name,
                          CLI::AppFormatMode mode) const override;
};

/// `text` with each line wrapped to `width` columns as above.
std::string WrapHelpText(std::string_view text, std::size_t width);

/// The parser's failure message: "dravik: WHAT" and where to find help.
std::string ParseFailureMessage(const CLI::App* app, const CLI::Error& error);

/// What `dravik --version` prints: the version, the licence and the
/// libraries the program was built with.
std::string VersionText();
