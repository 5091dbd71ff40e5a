// SPDX-License-Identifier: Apache-2.0
#include "host/common/OutputText.h"

#include "platform/text/Utf8.h"

#include <cstdio>
#include <ctime>

std::string JsonString(std::string_view text) {
    // A round trip through UTF-16 replaces ill-formed bytes with U+FFFD.
    const std::string valid = Utf16ToUtf8(Utf8ToUtf16(text));
    std::string out = "\"";
    for (const char c : valid) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string IsoTime(std::uint64_t ticks) {
    constexpr std::uint64_t kUnixEpoch = 116444736000000000ULL; // 1970 in 100 ns since 1601
    if (ticks < kUnixEpoch) {
        return {};
    }
    const auto seconds = static_cast<std::time_t>((ticks - kUnixEpoch) / 10000000ULL);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}
