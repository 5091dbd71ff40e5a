// SPDX-License-Identifier: Apache-2.0
#include "framework/message/FormatMessage.h"

#include "platform/kernel/LastError.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

namespace {

/// A parsed "!fmt!" insert format.
struct InsertFormat {
    std::string flags;
    int width = -1;     ///< -1: none
    int precision = -1; ///< -1: none
    int bits = 32;      ///< size of a number: 16, 32 or 64
    char conversion = 's';
};

enum class Parse { Ok, Plain, TooWide };

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

/// Reads a decimal count at `pos`; -1 when there is none.
int ReadCount(std::u16string_view fmt, std::size_t& pos, bool& tooWide) {
    if (pos >= fmt.size() || !IsDigit(fmt[pos])) {
        return -1;
    }
    int value = 0;
    while (pos < fmt.size() && IsDigit(fmt[pos])) {
        if (value <= kMaxInsertWidth) {
            value = value * 10 + (fmt[pos] - u'0');
        }
        ++pos;
    }
    tooWide = tooWide || value > kMaxInsertWidth;
    return value;
}

int ReadSize(std::u16string_view fmt, std::size_t& pos) {
    std::u16string_view rest = fmt.substr(pos);
    if (rest.starts_with(u"I64") || rest.starts_with(u"ll")) {
        pos += rest[0] == u'I' ? 3 : 2;
        return 64;
    }
    if (rest.starts_with(u"I32")) {
        pos += 3;
        return 32;
    }
    if (rest.starts_with(u"h")) {
        ++pos;
        return 16;
    }
    if (rest.starts_with(u"l") || rest.starts_with(u"w")) {
        ++pos;
    }
    return 32;
}

Parse ParseInsertFormat(std::u16string_view fmt, InsertFormat& format) {
    std::size_t pos = 0;
    while (pos < fmt.size() && std::u16string_view(u"-+ #0").find(fmt[pos]) != fmt.npos) {
        format.flags.push_back(static_cast<char>(fmt[pos++]));
    }
    bool tooWide = false;
    format.width = ReadCount(fmt, pos, tooWide);
    if (pos < fmt.size() && fmt[pos] == u'.') {
        ++pos;
        format.precision = std::max(ReadCount(fmt, pos, tooWide), 0);
    }
    format.bits = ReadSize(fmt, pos);
    if (tooWide) {
        return Parse::TooWide;
    }
    if (pos + 1 != fmt.size() || std::u16string_view(u"diuxXocCsS").find(fmt[pos]) == fmt.npos) {
        return Parse::Plain;
    }
    format.conversion = static_cast<char>(fmt[pos]);
    return Parse::Ok;
}

void Pad(std::u16string& out, std::u16string_view text, const InsertFormat& format) {
    std::size_t width = format.width > 0 ? static_cast<std::size_t>(format.width) : 0;
    std::size_t fill = width > text.size() ? width - text.size() : 0;
    bool left = format.flags.find('-') != std::string::npos;
    if (!left) {
        out.append(fill, u' ');
    }
    out.append(text);
    if (left) {
        out.append(fill, u' ');
    }
}

/// The number cut to the insert's size, as a signed value.
long long Signed(std::int64_t value, int bits) {
    if (bits == 16) {
        return static_cast<std::int16_t>(value);
    }
    return bits == 32 ? static_cast<std::int32_t>(value) : value;
}

/// The number cut to the insert's size, as an unsigned value.
unsigned long long Unsigned(std::int64_t value, int bits) {
    if (bits == 16) {
        return static_cast<std::uint16_t>(value);
    }
    return bits == 32 ? static_cast<std::uint32_t>(value) : static_cast<std::uint64_t>(value);
}

void AppendNumber(std::u16string& out, std::int64_t value, const InsertFormat& format) {
    std::string fmt(1, '%');
    fmt += format.flags;
    if (format.width >= 0) {
        fmt += std::to_string(format.width);
    }
    if (format.precision >= 0) {
        fmt += '.';
        fmt += std::to_string(format.precision);
    }
    fmt += "ll";
    fmt += format.conversion;
    // Widths and precisions are bounded, so the text always fits.
    char buffer[2 * kMaxInsertWidth + 32];
    bool isSigned = format.conversion == 'd' || format.conversion == 'i';
    int length =
        isSigned ? std::snprintf(buffer, sizeof buffer, fmt.c_str(), Signed(value, format.bits))
                 : std::snprintf(buffer, sizeof buffer, fmt.c_str(), Unsigned(value, format.bits));
    for (int i = 0; i < length; ++i) {
        out.push_back(static_cast<char16_t>(buffer[i]));
    }
}

/// Appends one insert; false on a text/number mismatch.
bool AppendInsert(std::u16string& out, const FormatArg& arg, const InsertFormat& format) {
    bool wantsText = format.conversion == 's' || format.conversion == 'S';
    if (wantsText != arg.IsText()) {
        return false;
    }
    if (wantsText) {
        std::u16string_view text = arg.Text();
        if (format.precision >= 0) {
            text = text.substr(0, static_cast<std::size_t>(format.precision));
        }
        Pad(out, text, format);
    } else if (format.conversion == 'c' || format.conversion == 'C') {
        char16_t unit = static_cast<char16_t>(arg.Number());
        Pad(out, std::u16string_view(&unit, 1), format);
    } else {
        AppendNumber(out, arg.Number(), format);
    }
    return true;
}

void AppendPlain(std::u16string& out, const FormatArg& arg) {
    if (arg.IsText()) {
        out.append(arg.Text());
        return;
    }
    for (char c : std::to_string(static_cast<std::int32_t>(arg.Number()))) {
        out.push_back(static_cast<char16_t>(c));
    }
}

/// Formats one "%N[!fmt!]" insert whose number starts at `pos`; moves `pos`
/// past it. False when the insert is invalid.
bool FormatInsert(std::u16string_view text, std::size_t& pos, std::span<const FormatArg> args,
                  std::u16string& out) {
    std::size_t number = static_cast<std::size_t>(text[pos++] - u'0');
    if (pos < text.size() && IsDigit(text[pos])) {
        number = number * 10 + static_cast<std::size_t>(text[pos++] - u'0');
    }
    if (number > args.size()) {
        return false;
    }
    const FormatArg& arg = args[number - 1];
    if (pos >= text.size() || text[pos] != u'!') {
        return AppendInsert(out, arg, InsertFormat{});
    }
    std::size_t close = text.find(u'!', pos + 1);
    if (close == text.npos) {
        return false;
    }
    InsertFormat format;
    Parse parse = ParseInsertFormat(text.substr(pos + 1, close - pos - 1), format);
    pos = close + 1;
    if (parse == Parse::TooWide) {
        return false;
    }
    if (parse == Parse::Plain) {
        AppendPlain(out, arg);
        return true;
    }
    return AppendInsert(out, arg, format);
}

/// The whole output, or nothing when the format is invalid.
std::optional<std::u16string> Format(std::u16string_view text, std::span<const FormatArg> args) {
    std::u16string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        char16_t c = text[pos++];
        if (c != u'%') {
            out.push_back(c);
            continue;
        }
        if (pos == text.size() || text[pos] == u'0') {
            break;
        }
        char16_t escape = text[pos];
        if (escape >= u'1' && escape <= u'9') {
            if (!FormatInsert(text, pos, args, out)) {
                return std::nullopt;
            }
            continue;
        }
        ++pos;
        if (escape == u'n') {
            out.push_back(u'\r');
            out.push_back(u'\n');
        } else if (escape == u'r') {
            out.push_back(u'\r');
        } else if (escape == u't') {
            out.push_back(u'\t');
        } else {
            out.push_back(escape);
        }
    }
    return out;
}

} // namespace

FormatStatus FormatMessageString(const char16_t* format, std::span<const FormatArg> args,
                                 CVELString& out) {
    out.Empty();
    std::optional<std::u16string> result;
    if (format != nullptr) {
        result = Format(format, args);
    }
    if (!result) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FormatStatus::InvalidParameter;
    }
    if (result->empty()) {
        return FormatStatus::Empty;
    }
    // The text lives in `result` until the end of this function.
    // NOLINTNEXTLINE(clang-analyzer-cplusplus.InnerPointer)
    out.Assign(result->data(), static_cast<std::int32_t>(result->size()));
    return FormatStatus::Ok;
}
