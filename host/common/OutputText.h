// SPDX-License-Identifier: Apache-2.0
// Texts the commands and the proxy's pages print: JSON strings and UTC times.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

/// `text` (UTF-8) as a quoted JSON string, with quotes, backslashes and
/// control characters escaped. Bytes that are not valid UTF-8 become U+FFFD,
/// so the document stays valid whatever a URL or a file name holds.
std::string JsonString(std::string_view text);

/// A file time (100 ns since 1601) as "YYYY-MM-DDTHH:MM:SSZ"; empty when it
/// is not set.
std::string IsoTime(std::uint64_t ticks);
