// SPDX-License-Identifier: Apache-2.0
#include "platform/cache/CacheKey.h"

namespace urlcache {

namespace {

char16_t Lower(char16_t unit) {
    return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
}

std::u16string Lowered(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& unit : out) {
        unit = Lower(unit);
    }
    return out;
}

/// True when `port` is empty or all digits with the value `defaultPort`.
bool IsDefaultPort(std::u16string_view port, unsigned defaultPort) {
    unsigned value = 0;
    for (const char16_t unit : port) {
        if (unit < u'0' || unit > u'9' || value > 65535) {
            return false;
        }
        value = value * 10 + static_cast<unsigned>(unit - u'0');
    }
    return port.empty() || value == defaultPort;
}

} // namespace

std::u16string CacheKeyOf(std::u16string_view url) {
    url = url.substr(0, url.find(u'#'));
    const std::size_t schemeEnd = url.find(u"://");
    if (schemeEnd == std::u16string_view::npos) {
        return std::u16string(url);
    }
    const std::u16string scheme = Lowered(url.substr(0, schemeEnd));
    if (scheme != u"http" && scheme != u"https") {
        return std::u16string(url);
    }
    const std::size_t hostStart = schemeEnd + 3;
    const std::size_t rest = std::min(url.find_first_of(u"/?", hostStart), url.size());
    std::u16string_view authority = url.substr(hostStart, rest - hostStart);
    const std::size_t at = authority.rfind(u'@');
    const std::u16string_view user =
        at == std::u16string_view::npos ? std::u16string_view() : authority.substr(0, at + 1);
    authority.remove_prefix(user.size());
    // The port follows the last ":" outside an IPv6 literal's brackets.
    const std::size_t colon = authority.rfind(u':');
    const std::size_t bracket = authority.rfind(u']');
    std::u16string_view host = authority;
    std::u16string_view port;
    bool hasPort = false;
    if (colon != std::u16string_view::npos &&
        (bracket == std::u16string_view::npos || colon > bracket)) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
        hasPort = true;
    }
    std::u16string key = scheme + u"://";
    key.append(user).append(Lowered(host));
    if (hasPort && !IsDefaultPort(port, scheme == u"https" ? 443 : 80)) {
        key.append(u":").append(port);
    }
    key.append(url.substr(rest));
    return key;
}

} // namespace urlcache
