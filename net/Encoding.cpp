// SPDX-License-Identifier: Apache-2.0
#include "net/Encoding.h"

#include "foundation/TextUnits.h"

#include <cstdint>

namespace {

constexpr char16_t kSafeUnits[] = u";/?:@&=+!*'(),$-_.";
constexpr std::int32_t kSafeCount = sizeof kSafeUnits / sizeof kSafeUnits[0] - 1;
constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";
constexpr char16_t kAmpEntity[] = u"&amp;";
constexpr std::int32_t kAmpEntityLength = 5;
constexpr char32_t kReplacementCharacter = 0xFFFD;

char16_t UnescapedUnit(char16_t c) {
    switch (c) {
    case u'f':
        return u'\f';
    case u'n':
        return u'\n';
    case u'r':
        return u'\r';
    case u't':
        return u'\t';
    default:
        return c;
    }
}

bool IsHexDigit(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

bool IsAsciiAlnum(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool IsSafeUnit(char16_t c) {
    return vel::FindUnit(kSafeUnits, 0, kSafeCount, c) >= 0;
}

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

/// True when a valid escape ("%" and two hex digits) begins at `i`.
bool IsEscapeAt(const char16_t* text, std::int32_t i, std::int32_t length) {
    return text[i] == u'%' && i + 2 < length && IsHexDigit(text[i + 1]) && IsHexDigit(text[i + 2]);
}

/// Requires at least five units at `text`. The match is exact: "&AMP;" stays.
bool IsAmpEntityAt(const char16_t* text) {
    for (std::int32_t k = 0; k < kAmpEntityLength; ++k) {
        if (text[k] != kAmpEntity[k]) {
            return false;
        }
    }
    return true;
}

void AppendEscape(CVELString& out, std::uint32_t byte) {
    out.AppendChar(u'%');
    out.AppendChar(kHexDigits[(byte >> 4) & 0xF]);
    out.AppendChar(kHexDigits[byte & 0xF]);
}

/// Appends one "%XX" per UTF-8 byte of `cp`. Requires cp <= U+10FFFF.
void AppendUtf8Escapes(CVELString& out, char32_t cp) {
    if (cp < 0x800) {
        AppendEscape(out, 0xC0 | (cp >> 6));
    } else if (cp < 0x10000) {
        AppendEscape(out, 0xE0 | (cp >> 12));
        AppendEscape(out, 0x80 | ((cp >> 6) & 0x3F));
    } else {
        AppendEscape(out, 0xF0 | (cp >> 18));
        AppendEscape(out, 0x80 | ((cp >> 12) & 0x3F));
        AppendEscape(out, 0x80 | ((cp >> 6) & 0x3F));
    }
    AppendEscape(out, 0x80 | (cp & 0x3F));
}

/// Encodes the character above U+00FF that begins at `i` and returns the
/// units it took: two for a surrogate pair, else one. A lone surrogate
/// stands for no character and is sent as U+FFFD.
std::int32_t AppendWideCharacter(CVELString& out, const char16_t* text, std::int32_t i,
                                 std::int32_t length) {
    const char16_t c = text[i];
    if (IsHighSurrogate(c) && i + 1 < length && IsLowSurrogate(text[i + 1])) {
        const char32_t cp = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        AppendUtf8Escapes(out, cp);
        return 2;
    }
    const bool lone = IsHighSurrogate(c) || IsLowSurrogate(c);
    AppendUtf8Escapes(out, lone ? kReplacementCharacter : char32_t(c));
    return 1;
}

} // namespace

void UnquoteString(CVELString& text) {
    const std::int32_t length = text.GetLength();
    if (length < 2) {
        return;
    }
    char16_t* data = text.GetData();
    const char16_t quote = data[0];
    if ((quote != u'"' && quote != u'\'') || data[length - 1] != quote) {
        return;
    }
    // Compacted in place: the write index never passes the read index.
    const std::int32_t end = length - 1;
    std::int32_t kept = 0;
    for (std::int32_t i = 1; i < end; ++i) {
        char16_t c = data[i];
        if (c == u'\\') {
            if (++i == end) {
                break;
            }
            c = UnescapedUnit(data[i]);
        }
        data[kept++] = c;
    }
    text.SetLength(kept);
}

void CollapseAmpEntities(CVELString& text) {
    const std::int32_t length = text.GetLength();
    char16_t* data = text.GetData();
    std::int32_t kept = 0;
    std::int32_t i = 0;
    while (i < length) {
        // Scanning resumes after the whole entity, so the "&" just kept
        // cannot start another match: one level of encoding goes.
        if (i + kAmpEntityLength <= length && IsAmpEntityAt(data + i)) {
            data[kept++] = u'&';
            i += kAmpEntityLength;
        } else {
            data[kept++] = data[i++];
        }
    }
    text.SetLength(kept);
}

void URLEncode(CVELString& text) {
    const std::int32_t length = text.GetLength();
    const char16_t* data = text.GetData();
    // Built aside and copied back once: inserting each escape in place
    // would move the rest of the text every time.
    CVELString encoded;
    encoded.Reserve(length);
    std::int32_t i = 0;
    while (i < length) {
        const char16_t c = data[i];
        if (IsEscapeAt(data, i, length)) {
            encoded.Append(data + i, 3);
            i += 3;
            continue;
        }
        if (c > 0xFF) {
            i += AppendWideCharacter(encoded, data, i, length);
            continue;
        }
        if (c == u' ') {
            encoded.AppendChar(u'+');
        } else if (IsAsciiAlnum(c) || IsSafeUnit(c)) {
            encoded.AppendChar(c);
        } else {
            AppendEscape(encoded, c);
        }
        ++i;
    }
    text.Assign(encoded);
}
