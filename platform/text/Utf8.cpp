// SPDX-License-Identifier: Apache-2.0
#include "platform/text/Utf8.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// What a lead byte promises: how many continuation bytes follow, the bits it
// carries, and the range allowed for the first continuation byte. The narrow
// ranges after E0, ED, F0 and F4 rule out overlong forms, surrogates and
// values above U+10FFFF.
struct Lead {
    int continuations;
    char32_t bits;
    int low;
    int high;
};

bool ClassifyLead(unsigned char b, Lead& lead) {
    if (b >= 0xC2 && b <= 0xDF) {
        lead = {1, char32_t(b & 0x1F), 0x80, 0xBF};
    } else if (b >= 0xE0 && b <= 0xEF) {
        lead = {2, char32_t(b & 0x0F), b == 0xE0 ? 0xA0 : 0x80, b == 0xED ? 0x9F : 0xBF};
    } else if (b >= 0xF0 && b <= 0xF4) {
        lead = {3, char32_t(b & 0x07), b == 0xF0 ? 0x90 : 0x80, b == 0xF4 ? 0x8F : 0xBF};
    } else {
        return false;
    }
    return true;
}

// Decodes one character at `pos` and moves past it. On an ill-formed
// sequence it stops before the first byte that does not fit, so that byte
// starts the next character.
char32_t DecodeOne(std::string_view bytes, std::size_t& pos) {
    const auto b = static_cast<unsigned char>(bytes[pos++]);
    if (b < 0x80) {
        return b;
    }
    Lead lead;
    if (!ClassifyLead(b, lead)) {
        return kReplacement;
    }
    char32_t cp = lead.bits;
    for (int k = 0; k < lead.continuations; ++k) {
        if (pos >= bytes.size()) {
            return kReplacement;
        }
        const auto c = static_cast<unsigned char>(bytes[pos]);
        if (c < lead.low || c > lead.high) {
            return kReplacement;
        }
        lead.low = 0x80;
        lead.high = 0xBF;
        cp = (cp << 6) | (c & 0x3F);
        ++pos;
    }
    return cp;
}

void AppendUtf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
        return;
    }
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

bool IsHighSurrogate(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}

bool IsLowSurrogate(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

} // namespace

std::u16string Utf8ToUtf16(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        AppendUtf16(out, DecodeOne(bytes, pos));
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view units) {
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        if (IsHighSurrogate(u) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
            AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (units[++i] - 0xDC00));
        } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}
