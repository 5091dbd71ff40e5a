// SPDX-License-Identifier: Apache-2.0
// Who may use the proxy and which hosts it never caches: the --listen
// address, the --allow networks and the --direct hosts.
#pragma once

#include "host/proxy/ProxyTarget.h"
#include "platform/inet/LocalAddresses.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace proxy {

// Addresses as the internet library reads them. Machine-local ones
// (loopback, link-local, unspecified) reach this machine or its own link,
// which only a client on this machine may ask the proxy to reach.
using inet::IpBytes;
using inet::IsLoopback;
using inet::IsMachineLocal;
using inet::ParseIp;

/// True for "localhost", names under ".localhost", and literals of
/// machine-local addresses. A name that merely resolves to one is caught
/// where it is resolved.
bool NamesMachineLocal(std::string_view host);

/// A network "address/bits" (a bare address is the one host).
struct Network {
    IpBytes base{};
    int bits = 128; // over the 16-byte form
    bool Contains(const IpBytes& address) const;
};
std::optional<Network> ParseNetwork(std::string_view text);

/// "ADDRESS:PORT", "[IPV6]:PORT" or a bare "PORT" (on 127.0.0.1). Port 0
/// asks the system for a free one.
struct ListenAddress {
    std::string host = "127.0.0.1";
    std::uint16_t port = 8731;
};
std::optional<ListenAddress> ParseListenAddress(std::string_view text);

/// Clients from loopback are always answered; others only from a network
/// given with --allow. Nothing else: the proxy is never an open relay.
class ClientRules {
  public:
    explicit ClientRules(std::vector<Network> allowed) : m_allowed(std::move(allowed)) {}
    bool Allows(const IpBytes& client) const;

  private:
    std::vector<Network> m_allowed;
};

/// "HOST" (every port) or "HOST:PORT": a host whose requests are forwarded
/// whatever the offline state and whose responses are never stored.
struct DirectHost {
    std::string host;
    std::optional<std::uint16_t> port;
};
std::optional<DirectHost> ParseDirectHost(std::string_view text);
bool IsDirect(const std::vector<DirectHost>& direct, const Authority& authority);

} // namespace proxy
