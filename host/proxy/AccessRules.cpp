// SPDX-License-Identifier: Apache-2.0
#include "host/proxy/AccessRules.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace proxy {

bool NamesMachineLocal(std::string_view host) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    std::string name(host);
    std::transform(name.begin(), name.end(), name.begin(), lower);
    while (name.ends_with('.')) {
        name.pop_back();
    }
    if (name == "localhost" || name.ends_with(".localhost")) {
        return true;
    }
    const std::optional<IpBytes> address = ParseIp(name);
    return address && IsMachineLocal(*address);
}

bool Network::Contains(const IpBytes& address) const {
    for (int bit = 0; bit < bits; ++bit) {
        const int byte = bit / 8;
        const int mask = 0x80 >> (bit % 8);
        if ((address[byte] & mask) != (base[byte] & mask)) {
            return false;
        }
    }
    return true;
}

std::optional<Network> ParseNetwork(std::string_view text) {
    const auto slash = text.find('/');
    const std::optional<IpBytes> base = ParseIp(text.substr(0, slash));
    if (!base) {
        return std::nullopt;
    }
    const bool v4 = text.substr(0, slash).find(':') == std::string_view::npos;
    Network out{*base, 128};
    if (slash == std::string_view::npos) {
        return out;
    }
    const std::string_view digits = text.substr(slash + 1);
    int bits = -1;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), bits);
    const int most = v4 ? 32 : 128;
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
        bits < 0 || bits > most) {
        return std::nullopt;
    }
    out.bits = v4 ? bits + 96 : bits;
    return out;
}

std::optional<ListenAddress> ParseListenAddress(std::string_view text) {
    ListenAddress out;
    std::string_view port = text;
    if (const auto colon = text.rfind(':'); colon != std::string_view::npos) {
        std::string_view host = text.substr(0, colon);
        if (host.starts_with('[') && host.ends_with(']')) {
            host = host.substr(1, host.size() - 2);
        }
        if (!ParseIp(host)) {
            return std::nullopt;
        }
        out.host = host;
        port = text.substr(colon + 1);
    }
    unsigned value = 0;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (port.empty() || error != std::errc() || end != port.data() + port.size() || value > 65535) {
        return std::nullopt;
    }
    out.port = static_cast<std::uint16_t>(value);
    return out;
}

bool ClientRules::Allows(const IpBytes& client) const {
    if (IsLoopback(client)) {
        return true;
    }
    for (const Network& network : m_allowed) {
        if (network.Contains(client)) {
            return true;
        }
    }
    return false;
}

std::optional<DirectHost> ParseDirectHost(std::string_view text) {
    const bool hasPort = text.starts_with('[') ? text.find("]:") != std::string_view::npos
                                               : text.find(':') != std::string_view::npos;
    const std::optional<Authority> parsed = ParseAuthority(text, hasPort ? 0 : 1);
    if (!parsed) {
        return std::nullopt;
    }
    DirectHost out{parsed->host, std::nullopt};
    if (hasPort) {
        out.port = parsed->port;
    }
    return out;
}

bool IsDirect(const std::vector<DirectHost>& direct, const Authority& authority) {
    for (const DirectHost& d : direct) {
        if (SameAuthority({d.host, authority.port}, authority) &&
            (!d.port || *d.port == authority.port)) {
            return true;
        }
    }
    return false;
}

} // namespace proxy
