// SPDX-License-Identifier: Apache-2.0
#include "host/common/PageEncoding.h"

#include "platform/text/AnsiCodePage.h"
#include "platform/text/Utf8.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <optional>

namespace {

constexpr std::size_t kPrescanBytes = 1024;

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerTrimmed(std::string_view text) {
    const auto space = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
    };
    while (!text.empty() && space(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && space(text.back())) {
        text.remove_suffix(1);
    }
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), Lower);
    return out;
}

/// The encoding a label names, in the few names this file decodes itself
/// ("utf-8", "utf-16le", "utf-16be", "windows-1252") or as the label for
/// iconv; nullopt when no decoder knows it.
std::optional<std::string> Canonical(std::string_view label) {
    const std::string name = LowerTrimmed(label);
    if (name.empty()) {
        return std::nullopt;
    }
    static constexpr std::array<std::string_view, 3> kUtf8 = {"utf-8", "utf8", "unicode-1-1-utf-8"};
    static constexpr std::array<std::string_view, 14> k1252 = {
        "windows-1252", "cp1252", "x-cp1252",   "iso-8859-1",     "iso8859-1",
        "iso_8859-1",   "latin1", "l1",         "ascii",          "us-ascii",
        "cp819",        "ibm819", "iso-ir-100", "iso_8859-1:1987"};
    if (std::find(kUtf8.begin(), kUtf8.end(), name) != kUtf8.end()) {
        return "utf-8";
    }
    if (std::find(k1252.begin(), k1252.end(), name) != k1252.end()) {
        return "windows-1252";
    }
    if (name == "utf-16" || name == "utf-16le") {
        return "utf-16le";
    }
    if (name == "utf-16be") {
        return "utf-16be";
    }
    const iconv_t probe = ::iconv_open("UTF-8", name.c_str());
    if (probe == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    ::iconv_close(probe);
    return name;
}

bool WellFormedUtf8(std::string_view bytes) {
    return Utf16ToUtf8(Utf8ToUtf16(bytes)) == bytes;
}

std::string FromWindows1252(std::string_view bytes) {
    std::u16string units;
    units.reserve(bytes.size());
    for (const char c : bytes) {
        units.push_back(AnsiByteToUnit(static_cast<unsigned char>(c)));
    }
    return Utf16ToUtf8(units);
}

std::string FromUtf16(std::string_view bytes, bool bigEndian) {
    std::u16string units;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto high = static_cast<unsigned char>(bytes[bigEndian ? i : i + 1]);
        const auto low = static_cast<unsigned char>(bytes[bigEndian ? i + 1 : i]);
        units.push_back(static_cast<char16_t>(high << 8 | low));
    }
    if (bytes.size() % 2 != 0) {
        units.push_back(u'\uFFFD');
    }
    return Utf16ToUtf8(units); // a lone surrogate becomes U+FFFD there
}

/// Through iconv; each byte it cannot convert becomes U+FFFD.
std::string FromIconv(std::string_view bytes, const std::string& name) {
    const iconv_t converter = ::iconv_open("UTF-8", name.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return FromWindows1252(bytes);
    }
    std::string out;
    std::array<char, 4096> buffer{};
    char* in = const_cast<char*>(bytes.data()); // iconv's interface; it does not write
    std::size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        const std::size_t done = ::iconv(converter, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer.data(), buffer.size() - outLeft);
        if (done == static_cast<std::size_t>(-1) && errno != E2BIG) {
            out += "\xEF\xBF\xBD"; // ill-formed or cut: one U+FFFD, then on
            ++in;
            --inLeft;
            ::iconv(converter, nullptr, nullptr, nullptr, nullptr);
        }
    }
    ::iconv_close(converter);
    return out;
}

std::string Decode(std::string_view bytes, const std::string& encoding) {
    if (encoding == "utf-8") {
        return Utf16ToUtf8(Utf8ToUtf16(bytes));
    }
    if (encoding == "windows-1252") {
        return FromWindows1252(bytes);
    }
    if (encoding == "utf-16le" || encoding == "utf-16be") {
        return FromUtf16(bytes, encoding == "utf-16be");
    }
    return FromIconv(bytes, encoding);
}

/// The value after "charset=" in `text`, up to a quote, space or ';'.
std::string CharsetAfter(std::string_view text) {
    const std::string lower = LowerTrimmed(text);
    const std::size_t at = lower.find("charset");
    if (at == std::string::npos) {
        return {};
    }
    std::size_t i = lower.find_first_not_of(" \t", at + 7);
    if (i == std::string::npos || lower[i] != '=') {
        return {};
    }
    i = lower.find_first_not_of(" \t", i + 1);
    if (i == std::string::npos) {
        return {};
    }
    const char quote = lower[i] == '"' || lower[i] == '\'' ? lower[i] : '\0';
    const std::size_t begin = quote != '\0' ? i + 1 : i;
    const std::size_t end =
        lower.find_first_of(quote != '\0' ? std::string(1, quote) : "; \t\"'", begin);
    return lower.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

/// The attributes of the tag that starts at `text` ("<meta ...>"), as one
/// lower-cased run of text up to its '>'.
std::string TagText(std::string_view text) {
    const std::size_t end = text.find('>');
    return LowerTrimmed(text.substr(0, end));
}

/// The charset a <meta> in the first kPrescanBytes declares; "" for none.
/// Comments are skipped, as the browser's prescan does.
std::string MetaCharset(std::string_view bytes) {
    const std::string_view head = bytes.substr(0, kPrescanBytes);
    for (std::size_t i = 0; i < head.size();) {
        if (head.substr(i, 4) == "<!--") {
            const std::size_t end = head.find("-->", i + 4);
            i = end == std::string_view::npos ? head.size() : end + 3;
            continue;
        }
        if (head[i] == '<' && i + 5 < head.size() &&
            LowerTrimmed(head.substr(i + 1, 4)) == "meta" &&
            std::string_view(" \t\n\r\f/").find(head[i + 5]) != std::string_view::npos) {
            const std::string tag = TagText(head.substr(i + 5));
            const bool httpEquiv = tag.find("http-equiv") != std::string::npos &&
                                   tag.find("content-type") != std::string::npos;
            const std::size_t direct = tag.find("charset");
            if (direct != std::string::npos && (!httpEquiv || tag.find("content") > direct)) {
                return CharsetAfter(tag.substr(direct));
            }
            if (httpEquiv) {
                const std::size_t content = tag.find("content", tag.find("content-type") + 12);
                if (content != std::string::npos) {
                    return CharsetAfter(tag.substr(content));
                }
            }
        }
        ++i;
    }
    return {};
}

} // namespace

std::string CharsetOfContentType(std::string_view contentType) {
    const std::size_t parameters = contentType.find(';');
    return parameters == std::string_view::npos ? std::string()
                                                : CharsetAfter(contentType.substr(parameters));
}

DecodedPage DecodePage(std::string_view bytes, std::string_view httpCharset) {
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        return {Decode(bytes.substr(3), "utf-8"), "utf-8"};
    }
    if (bytes.starts_with("\xFF\xFE")) {
        return {Decode(bytes.substr(2), "utf-16le"), "utf-16le"};
    }
    if (bytes.starts_with("\xFE\xFF")) {
        return {Decode(bytes.substr(2), "utf-16be"), "utf-16be"};
    }
    if (const std::optional<std::string> http = Canonical(httpCharset)) {
        return {Decode(bytes, *http), *http};
    }
    if (std::optional<std::string> meta = Canonical(MetaCharset(bytes))) {
        if (meta->starts_with("utf-16")) {
            meta = "utf-8"; // read as ASCII to find the tag: it is not UTF-16
        }
        return {Decode(bytes, *meta), *meta};
    }
    const std::string fallback = WellFormedUtf8(bytes) ? "utf-8" : "windows-1252";
    return {Decode(bytes, fallback), fallback};
}
