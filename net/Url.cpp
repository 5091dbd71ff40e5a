// SPDX-License-Identifier: Apache-2.0
#include "net/Url.h"

#include "foundation/TextUnits.h"

#include <cstdio>

namespace {

constexpr std::int32_t kMaxPort = 65535;

bool IsPortDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

/// Takes the ":port" suffix off `host` into `*port`. Requires a non-empty
/// `host`. Fails on a host that begins with ":" and on a port text that is
/// empty, holds anything but digits, or names a port above 65535.
bool SplitPort(CVELString& host, INTERNET_PORT* port) {
    const std::int32_t colon = host.Find(u':');
    if (colon < 0) {
        return true;
    }
    if (colon == 0 || colon + 1 == host.GetLength()) {
        return false;
    }
    std::int32_t value = 0;
    for (std::int32_t i = colon + 1; i < host.GetLength(); ++i) {
        const char16_t c = host.GetData()[i];
        if (!IsPortDigit(c)) {
            return false;
        }
        value = value * 10 + (c - u'0');
        // Checked per digit so that a long run of digits cannot overflow;
        // leading zeros keep the value small and stay accepted.
        if (value > kMaxPort) {
            return false;
        }
    }
    *port = static_cast<INTERNET_PORT>(value);
    host.Truncate(colon);
    return true;
}

} // namespace

namespace url {

Scheme ReadScheme(const char16_t* text, std::int32_t* prefixLength) {
    *prefixLength = 0;
    std::int32_t colon = 0;
    while (text[colon] != 0 && text[colon] != u'/' && text[colon] != u':') {
        ++colon;
    }
    if (text[colon] != u':') {
        return Scheme::kNone;
    }
    *prefixLength = colon + 1;
    if (colon == vel::TextLength(kSchemeHttp) && vel::EqualNoCase(text, kSchemeHttp, colon)) {
        return Scheme::kHttp;
    }
    if (colon == vel::TextLength(kSchemeHttps) && vel::EqualNoCase(text, kSchemeHttps, colon)) {
        return Scheme::kHttps;
    }
    return Scheme::kOther;
}

void AppendOrigin(CVELString& text, const CVELString& host, INTERNET_PORT port, BOOL secure) {
    text.Append(secure ? kSchemeHttps : kSchemeHttp);
    text.Append(kSchemeSeparator);
    text.Append(host);
    AppendPort(text, port, secure);
}

} // namespace url

BOOL ParseURL(const char16_t* text, CVELString& host, CVELString& path, INTERNET_PORT* port,
              BOOL* secure) {
    // Copied before the outputs are cleared, so a caller may parse text that
    // lives in `host` or `path` itself.
    const CVELString work(text);
    *secure = FALSE;
    *port = url::kDefaultHttpPort;
    host.Empty();
    path.Empty();

    std::int32_t prefix = 0;
    const url::Scheme scheme = url::ReadScheme(work.GetData(), &prefix);
    if (scheme == url::Scheme::kOther) {
        return FALSE;
    }
    if (scheme == url::Scheme::kHttps) {
        *secure = TRUE;
        *port = url::kDefaultHttpsPort;
    }

    const char16_t* rest = work.GetData() + prefix;
    if (rest[0] != u'/' || rest[1] != u'/') {
        return FALSE;
    }
    rest += 2;
    const std::int32_t length = work.GetLength() - prefix - 2;
    const std::int32_t slash = vel::FindUnit(rest, 0, length, u'/');
    if (slash < 0) {
        host.Assign(rest, length);
        path.Assign(u"/");
    } else {
        host.Assign(rest, slash);
        path.Assign(rest + slash, length - slash);
    }
    if (host.GetLength() == 0) {
        return FALSE;
    }
    return SplitPort(host, port) ? TRUE : FALSE;
}

void AppendPort(CVELString& text, INTERNET_PORT port, BOOL secure) {
    const INTERNET_PORT defaultPort = secure ? url::kDefaultHttpsPort : url::kDefaultHttpPort;
    if (port == defaultPort) {
        return;
    }
    char suffix[16];
    const int written = std::snprintf(suffix, sizeof suffix, url::kPortSuffixFormat, int{port});
    for (int i = 0; i < written; ++i) {
        text.AppendChar(static_cast<char16_t>(suffix[i]));
    }
}
