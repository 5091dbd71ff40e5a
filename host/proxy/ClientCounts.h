// SPDX-License-Identifier: Apache-2.0
// How many connections and tunnels each client address holds, so that no
// one client (nor a loop of CONNECTs through the proxy into itself) can
// take every descriptor of the process.
//
// A connection is counted from its accept until its socket is closed, by
// whoever owns it last: the session reading requests, the tunnel or the
// intercepted TLS session that took the socket over. Each of them holds
// the connection's ticket; the count drops when the last holder goes.
#pragma once

#include "host/proxy/AccessRules.h"

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>

namespace proxy {

// A browser opens at most 32 connections to one proxy (Chromium's limit;
// Firefox's default is lower), and every program on this machine comes
// from the same loopback address: room for many browsers and scripts at
// once, and still a bound of about 800 descriptors per client address.
constexpr std::size_t kMaxConnectionsPerClient = 512;
// A tunnel holds a second descriptor (its upstream socket).
constexpr std::size_t kMaxTunnelsPerClient = 256;

struct ClientLimits {
    std::size_t connections = kMaxConnectionsPerClient;
    std::size_t tunnels = kMaxTunnelsPerClient;
};

class ClientCounts;

/// One accepted connection of one client, counted while a holder lives.
class ClientTicket {
  public:
    ClientTicket(std::shared_ptr<ClientCounts> counts, const IpBytes& client);
    ~ClientTicket();
    ClientTicket(const ClientTicket&) = delete;
    ClientTicket& operator=(const ClientTicket&) = delete;

    /// Counts the connection as a tunnel too, until it ends; false when its
    /// client has as many tunnels as it may (the connection is then refused
    /// its CONNECT).
    bool BecomeTunnel();

  private:
    std::shared_ptr<ClientCounts> m_counts;
    IpBytes m_client;
    bool m_tunnel = false;
};

using ConnectionTicket = std::shared_ptr<ClientTicket>;

class ClientCounts : public std::enable_shared_from_this<ClientCounts> {
  public:
    explicit ClientCounts(ClientLimits limits = {}) : m_limits(limits) {}

    /// A ticket for a new connection of `client`; null when it holds as
    /// many as it may. An IPv6 client is counted by its /64: every address
    /// of the prefix shares one count.
    ConnectionTicket Admit(const IpBytes& client);

    /// The connections `client` (its /64, for IPv6) holds now.
    std::size_t Connections(const IpBytes& client) const;

  private:
    friend class ClientTicket;
    struct Held {
        std::size_t connections = 0;
        std::size_t tunnels = 0;
    };

    bool TakeTunnel(const IpBytes& client);
    void Release(const IpBytes& client, bool tunnel);

    ClientLimits m_limits;
    mutable std::mutex m_mutex;
    std::map<IpBytes, Held> m_held;
};

} // namespace proxy
