// SPDX-License-Identifier: Apache-2.0
#include "framework/com/Guid.h"

namespace {

void AppendHex(std::u16string& out, std::uint32_t value, int digits) {
    constexpr char16_t kHex[] = u"0123456789ABCDEF";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
        out.push_back(kHex[(value >> shift) & 0xFu]);
    }
}

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    return -1;
}

/// Reads `digits` hex digits at `pos`; nothing when one is not a hex digit.
std::optional<std::uint32_t> ReadHex(std::u16string_view text, std::size_t pos, int digits) {
    std::uint32_t value = 0;
    for (int i = 0; i < digits; ++i) {
        const int digit = HexValue(text[pos + static_cast<std::size_t>(i)]);
        if (digit < 0) {
            return std::nullopt;
        }
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    return value;
}

} // namespace

std::u16string GuidToString(const GUID& guid) {
    std::u16string out;
    out.reserve(38);
    out.push_back(u'{');
    AppendHex(out, guid.Data1, 8);
    out.push_back(u'-');
    AppendHex(out, guid.Data2, 4);
    out.push_back(u'-');
    AppendHex(out, guid.Data3, 4);
    out.push_back(u'-');
    for (std::size_t i = 0; i < guid.Data4.size(); ++i) {
        if (i == 2) {
            out.push_back(u'-');
        }
        AppendHex(out, guid.Data4[i], 2);
    }
    out.push_back(u'}');
    return out;
}

std::optional<GUID> GuidFromString(std::u16string_view text, bool bracesOptional) {
    const bool braced = text.size() == 38 && text.front() == u'{' && text.back() == u'}';
    if (braced) {
        text = text.substr(1, 36);
    } else if (!bracesOptional || text.size() != 36) {
        return std::nullopt;
    }
    for (std::size_t dash : {8u, 13u, 18u, 23u}) {
        if (text[dash] != u'-') {
            return std::nullopt;
        }
    }
    const auto d1 = ReadHex(text, 0, 8);
    const auto d2 = ReadHex(text, 9, 4);
    const auto d3 = ReadHex(text, 14, 4);
    if (!d1 || !d2 || !d3) {
        return std::nullopt;
    }
    GUID guid{*d1, static_cast<WORD>(*d2), static_cast<WORD>(*d3), {}};
    for (std::size_t i = 0; i < 8; ++i) {
        const std::size_t pos = i < 2 ? 19 + 2 * i : 24 + 2 * (i - 2);
        const auto byte = ReadHex(text, pos, 2);
        if (!byte) {
            return std::nullopt;
        }
        guid.Data4[i] = static_cast<std::uint8_t>(*byte);
    }
    return guid;
}
