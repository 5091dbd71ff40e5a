// SPDX-License-Identifier: Apache-2.0
#include "host/proxy/CopyView.h"

#include "host/proxy/PageText.h"

#include "crawler/HtmlScanner.h"
#include "net/Encoding.h"
#include "net/ResolveUrl.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <algorithm>
#include <array>
#include <optional>

namespace proxy {

namespace {

namespace http = boost::beast::http;

// Scripts and forms run, so kept pages work as they did; without
// allow-same-origin the page's origin is opaque, so what it fetches from the
// proxy is cross-origin and unreadable.
constexpr const char* kSandbox = "sandbox allow-scripts allow-forms allow-popups";

constexpr std::array<std::u16string_view, 3> kReferenceAttributes = {u"href", u"src",
                                                                     u"background"};

/// Bytes as code units one for one, so that positions in the text are
/// positions in the bytes and untouched bytes go back out unchanged.
CVELString Units(std::string_view bytes) {
    CVELString text;
    text.Reserve(static_cast<std::int32_t>(bytes.size()));
    for (const char c : bytes) {
        text.AppendChar(static_cast<char16_t>(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string Bytes(const char16_t* units, std::int32_t length) {
    std::string out;
    out.reserve(static_cast<std::size_t>(length));
    for (std::int32_t i = 0; i < length; ++i) {
        out.push_back(static_cast<char>(units[i] & 0xFF));
    }
    return out;
}

std::string Bytes(const CVELString& text) {
    return Bytes(text.GetData(), text.GetLength());
}

bool NameIs(const CVELString& name, std::u16string_view wanted) {
    if (static_cast<std::size_t>(name.GetLength()) != wanted.size()) {
        return false;
    }
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        char16_t c = name.GetData()[i];
        c = c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
        if (c != wanted[i]) {
            return false;
        }
    }
    return true;
}

bool IsReference(const CVELString& name) {
    for (const std::u16string_view attribute : kReferenceAttributes) {
        if (NameIs(name, attribute)) {
            return true;
        }
    }
    return false;
}

/// The absolute URL `value` (as written in the tag) names from `base`,
/// cleaned as the crawl cleans a reference; empty when it names none.
std::string Resolve(const CVELString& value, const CVELString& base) {
    CVELString reference(value);
    UnquoteString(reference);
    CollapseAmpEntities(reference);
    if (reference.GetLength() == 0 || reference.GetData()[0] == u'#') {
        return {};
    }
    CVELString resolved;
    if (!ResolveURL(base.GetData(), reference.GetData(), resolved)) {
        return {};
    }
    std::string url = Bytes(resolved);
    return url.substr(0, url.find('#'));
}

/// The tag rebuilt with its references pointed at views; nullopt when it
/// has none, so the original text stays.
std::optional<std::string> RewriteTag(const CVELString& tag, const CVELString& name,
                                      const CVELStringPairList& attributes, const CVELString& base,
                                      std::string_view key) {
    bool changed = false;
    std::string out(1, '<');
    out.append(Bytes(name));
    for (std::int32_t i = 0; i < attributes.GetCount(); ++i) {
        const CVELString& attribute = *attributes.Names().GetAt(i);
        const CVELString& value = *attributes.Values().GetAt(i);
        if (NameIs(attribute, u"/")) {
            continue; // the "/" of "/>", written again below
        }
        out.append(1, ' ').append(Bytes(attribute));
        const std::string url = IsReference(attribute) ? Resolve(value, base) : std::string();
        if (!url.empty()) {
            out.append("=\"").append(HtmlEscape(CopyViewPath(key, url))).append(1, '"');
            changed = true;
        } else if (value.GetLength() > 0) {
            out.append(1, '=').append(Bytes(value));
        }
    }
    const bool selfClosing = tag.GetLength() >= 2 && tag.GetData()[tag.GetLength() - 2] == u'/';
    out.append(selfClosing ? " />" : ">");
    if (!changed) {
        return std::nullopt;
    }
    return out;
}

} // namespace

std::string CopyViewToken(std::string_view key, std::string_view url) {
    unsigned char digest[EVP_MAX_MD_SIZE] = {};
    unsigned int length = 0;
    HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
         reinterpret_cast<const unsigned char*>(url.data()), url.size(), digest, &length);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string token;
    for (unsigned int i = 0; i < std::min(length, 16U); ++i) {
        token += kHex[digest[i] >> 4];
        token += kHex[digest[i] & 0x0F];
    }
    return token;
}

bool CopyViewTokenMatches(std::string_view token, std::string_view key, std::string_view url) {
    const std::string expected = CopyViewToken(key, url);
    if (token.size() != expected.size()) {
        return false;
    }
    unsigned char differ = 0;
    for (std::size_t i = 0; i < token.size(); ++i) {
        differ |= static_cast<unsigned char>(token[i] ^ expected[i]);
    }
    return differ == 0;
}

std::string CopyViewPath(std::string_view key, std::string_view url) {
    return "/copy?key=" + CopyViewToken(key, url) + "&url=" + PercentEncode(url);
}

std::string CopyViewHtml(std::string_view html, std::string_view pageUrl, std::string_view key) {
    const CVELString page = Units(html);
    CVELString base = Units(pageUrl);
    CVELString tag;
    CVELString name;
    CVELStringPairList attributes;
    CHtmlTagBuffers buffers;
    std::string out;
    out.reserve(html.size() + html.size() / 8);
    std::int32_t pos = 0;
    std::size_t copied = 0;
    while (GetNextHtmlTag(page, pos, tag)) {
        if ((tag.GetLength() >= 2 && tag.GetData()[1] == u'!') ||
            !ParseHtmlTag(tag, name, attributes, buffers)) {
            continue;
        }
        const auto start = static_cast<std::size_t>(pos - tag.GetLength());
        std::optional<std::string> replacement;
        if (NameIs(name, u"base")) {
            CVELString href;
            if (attributes.GetValue(u"href", href)) {
                const std::string moved = Resolve(href, base);
                if (!moved.empty()) {
                    base = Units(moved);
                }
            }
            replacement.emplace(); // every reference carries the base itself now
        } else {
            replacement = RewriteTag(tag, name, attributes, base, key);
        }
        if (replacement) {
            out.append(html.substr(copied, start - copied)).append(*replacement);
            copied = static_cast<std::size_t>(pos);
        }
    }
    out.append(html.substr(copied));
    return out;
}

std::string CopyViewCss(std::string_view css, std::string_view sheetUrl, std::string_view key) {
    const CVELString base = Units(sheetUrl);
    std::string out;
    out.reserve(css.size());
    std::size_t copied = 0;
    for (std::size_t at = css.find("url("); at != std::string_view::npos;
         at = css.find("url(", at + 4)) {
        const std::size_t open = at + 4;
        const std::size_t close = css.find(')', open);
        if (close == std::string_view::npos) {
            break;
        }
        std::string_view inside = css.substr(open, close - open);
        while (!inside.empty() && (inside.front() == ' ' || inside.front() == '\t')) {
            inside.remove_prefix(1);
        }
        while (!inside.empty() && (inside.back() == ' ' || inside.back() == '\t')) {
            inside.remove_suffix(1);
        }
        const std::string url = Resolve(Units(inside), base);
        if (url.empty()) {
            continue;
        }
        out.append(css.substr(copied, open - copied)).append(1, '"');
        out.append(CopyViewPath(key, url)).append(1, '"');
        copied = close;
    }
    out.append(css.substr(copied));
    return out;
}

void SetCopyViewFields(http::fields& fields) {
    fields.set("Content-Security-Policy", kSandbox);
    fields.set("X-Content-Type-Options", "nosniff");
    fields.set("Referrer-Policy", "no-referrer");
}

} // namespace proxy
