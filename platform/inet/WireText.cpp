// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/WireText.h"

#include "platform/text/AnsiCodePage.h"

namespace inet {

namespace {

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool IsHighSurrogate(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

bool NeedsEscape(unsigned char b) {
    return b <= 0x20 || b >= 0x7F;
}

bool IsSecureDefault(bool secure, unsigned port) {
    return port == (secure ? 443u : 80u);
}

std::string PortText(unsigned port) {
    return std::to_string(port);
}

} // namespace

std::string ToWireBytes(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        const int byte = AnsiUnitToByte(unit);
        if (byte >= 0) {
            out += static_cast<char>(byte);
        } else if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            const char32_t c = 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            AppendUtf8(out, c);
            ++i;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

std::u16string FromWireBytes(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (const char b : bytes) {
        out += AnsiByteToUnit(static_cast<unsigned char>(b));
    }
    return out;
}

std::u16string_view WithoutFragment(std::u16string_view text) {
    return text.substr(0, text.find(u'#'));
}

std::string_view WithoutFragment(std::string_view text) {
    return text.substr(0, text.find('#'));
}

std::string EncodeObjectName(std::u16string_view objectName) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const std::string bytes = ToWireBytes(WithoutFragment(objectName));
    std::string out;
    out.reserve(bytes.size() + 8);
    if (bytes.empty() || bytes.front() != '/') {
        out += '/';
    }
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (NeedsEscape(b)) {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

std::u16string RequestUrlText(bool secure, std::u16string_view host, unsigned port,
                              std::u16string_view objectName) {
    std::u16string url = secure ? u"https://" : u"http://";
    url += host;
    if (!IsSecureDefault(secure, port)) {
        const std::string digits = PortText(port);
        url += u':';
        url += std::u16string(digits.begin(), digits.end());
    }
    const std::u16string_view name = WithoutFragment(objectName);
    if (name.empty() || name.front() != u'/') {
        url += u'/';
    }
    url += name;
    return url;
}

std::string RequestWireUrl(bool secure, std::u16string_view host, unsigned port,
                           std::u16string_view objectName) {
    std::string url = secure ? "https://" : "http://";
    const std::string hostBytes = ToWireBytes(host);
    const bool ipv6 = hostBytes.find(':') != std::string::npos && hostBytes.front() != '[';
    url += ipv6 ? "[" + hostBytes + "]" : hostBytes;
    url += ':' + PortText(port);
    url += EncodeObjectName(objectName);
    return url;
}

std::string_view TrimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string_view> HeadLines(std::string_view head) {
    std::vector<std::string_view> lines;
    while (!head.empty()) {
        const auto end = head.find('\n');
        std::string_view line = head.substr(0, end);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (line.empty()) {
            break;
        }
        lines.push_back(line);
        head.remove_prefix(end == std::string_view::npos ? head.size() : end + 1);
    }
    return lines;
}

bool SameFieldName(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

} // namespace inet
