// SPDX-License-Identifier: Apache-2.0
#include "host/HelpFormatter.h"

#include <algorithm>
#include <sstream>

namespace {

/// Where a wrapped line's continuation starts: under the description of an
/// option or subcommand line ("  --name VALUE    text"), else under the
/// line's first character.
std::size_t HangingIndent(const std::string& line, std::size_t width) {
    std::size_t indent = line.find_first_not_of(' ');
    if (indent != std::string::npos && indent > 0) {
        // An indented line with a gap of two spaces or more after its name.
        const std::size_t gap = line.find("  ", indent);
        const std::size_t text = gap == std::string::npos ? gap : line.find_first_not_of(' ', gap);
        if (text != std::string::npos) {
            indent = text;
        }
    }
    if (indent == std::string::npos || indent > width / 2) {
        indent = 4;
    }
    return indent;
}

std::string WrapLine(const std::string& line, std::size_t width) {
    if (line.size() <= width) {
        return line;
    }
    const std::size_t indent = HangingIndent(line, width);
    std::string out;
    std::string current;
    std::size_t at = 0;
    while (at < line.size()) {
        // A word with the spaces before it, so that the line's own layout
        // (its indent, the gap before a description) is kept.
        const std::size_t start = line.find_first_not_of(' ', at);
        const std::size_t end =
            start == std::string::npos ? line.size() : std::min(line.find(' ', start), line.size());
        const std::string piece = line.substr(at, end - at);
        at = end;
        const std::string word = start == std::string::npos ? "" : line.substr(start, end - start);
        if (current.size() + piece.size() > width &&
            current.find_first_not_of(' ') != std::string::npos) {
            out += current + "\n";
            current = std::string(indent, ' ') + word;
        } else {
            current += piece;
        }
    }
    return out + current;
}

} // namespace

std::string WrapHelpText(std::string_view text, std::size_t width) {
    std::istringstream lines{std::string(text)};
    std::string out;
    std::string line;
    while (std::getline(lines, line)) {
        out += WrapLine(line, width) + "\n";
    }
    if (!text.empty() && text.back() != '\n' && !out.empty()) {
        out.pop_back();
    }
    return out;
}

std::string CWrappingFormatter::make_help(const CLI::App* app, std::string name,
                                          CLI::AppFormatMode mode) const {
    return WrapHelpText(CLI::Formatter::make_help(app, std::move(name), mode), kWidth);
}

std::string ParseFailureMessage(const CLI::App* /*app*/, const CLI::Error& error) {
    return "dravik: " + std::string(error.what()) + "\nRun with --help for more information.\n";
}
