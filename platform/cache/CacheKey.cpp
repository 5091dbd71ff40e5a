// SPDX-License-Identifier: Apache-2.0
#include "platform/cache/CacheKey.h"

#include <algorithm>

namespace urlcache {

namespace {

template <class Char> std::basic_string<Char> Lowered(std::basic_string_view<Char> text) {
    std::basic_string<Char> out(text);
    for (Char& unit : out) {
        unit = unit >= 'A' && unit <= 'Z' ? static_cast<Char>(unit - 'A' + 'a') : unit;
    }
    return out;
}

/// True when `port` is empty or all digits with the value `defaultPort`.
template <class Char> bool IsDefaultPort(std::basic_string_view<Char> port, unsigned defaultPort) {
    unsigned value = 0;
    for (const Char unit : port) {
        if (unit < '0' || unit > '9' || value > 65535) {
            return false;
        }
        value = value * 10 + static_cast<unsigned>(unit - '0');
    }
    return port.empty() || value == defaultPort;
}

/// True when `text` spells the ASCII text `ascii`.
template <class Char> bool Spells(std::basic_string_view<Char> text, std::string_view ascii) {
    return std::equal(text.begin(), text.end(), ascii.begin(), ascii.end(),
                      [](Char unit, char c) { return unit == static_cast<Char>(c); });
}

/// The key for UTF-16 and for UTF-8 text alike: every character it looks
/// at is ASCII, which both spell as one unit of the same value.
template <class Char> std::basic_string<Char> KeyOf(std::basic_string_view<Char> url) {
    using View = std::basic_string_view<Char>;
    using Text = std::basic_string<Char>;
    static constexpr Char kSeparator[] = {':', '/', '/', 0};
    static constexpr Char kPathStart[] = {'/', '?', 0};
    url = url.substr(0, url.find(Char('#')));
    const std::size_t schemeEnd = url.find(kSeparator);
    if (schemeEnd == View::npos) {
        return Text(url);
    }
    const Text scheme = Lowered(url.substr(0, schemeEnd));
    const bool secure = Spells(View(scheme), "https");
    if (!secure && !Spells(View(scheme), "http")) {
        return Text(url);
    }
    const std::size_t hostStart = schemeEnd + 3;
    const std::size_t rest = std::min(url.find_first_of(kPathStart, hostStart), url.size());
    View authority = url.substr(hostStart, rest - hostStart);
    const std::size_t at = authority.rfind(Char('@'));
    const View user = at == View::npos ? View() : authority.substr(0, at + 1);
    authority.remove_prefix(user.size());
    // The port follows the last ":" outside an IPv6 literal's brackets.
    const std::size_t colon = authority.rfind(Char(':'));
    const std::size_t bracket = authority.rfind(Char(']'));
    View host = authority;
    View port;
    bool hasPort = false;
    if (colon != View::npos && (bracket == View::npos || colon > bracket)) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
        hasPort = true;
    }
    Text key = scheme;
    key.append(kSeparator).append(user).append(Lowered(host));
    if (hasPort && !IsDefaultPort(port, secure ? 443 : 80)) {
        key.push_back(Char(':'));
        key.append(port);
    }
    key.append(url.substr(rest));
    return key;
}

} // namespace

std::u16string CacheKeyOf(std::u16string_view url) {
    return KeyOf(url);
}

std::string CacheKeyOf(std::string_view url) {
    return KeyOf(url);
}

} // namespace urlcache
