// SPDX-License-Identifier: Apache-2.0
// Bytes of the wire to and from the wide text of the platform calls, one
// unit per byte through the ANSI code page, so header bytes survive the
// round trip exactly.
#pragma once

#include "platform/text/AnsiCodePage.h"

#include <string>
#include <string_view>

namespace proxy {

inline std::u16string Widen(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (const char b : bytes) {
        out += AnsiByteToUnit(static_cast<unsigned char>(b));
    }
    return out;
}

/// Units the code page has no byte for become "?"; the library only ever
/// hands back text it made from bytes, so none are expected.
inline std::string Narrow(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char16_t unit : text) {
        const int byte = AnsiUnitToByte(unit);
        out += byte < 0 ? '?' : static_cast<char>(byte);
    }
    return out;
}

} // namespace proxy
