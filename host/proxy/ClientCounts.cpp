// SPDX-License-Identifier: Apache-2.0
#include "host/proxy/ClientCounts.h"

#include <algorithm>

namespace proxy {

namespace {

/// What a client is counted as: an IPv4 address alone, an IPv6 address by
/// its /64, the least a network hands one subscriber, so that a host that
/// picks a fresh address of its prefix for each connection is still one.
IpBytes CountedAs(const IpBytes& client) {
    const bool v4 =
        std::all_of(client.begin(), client.begin() + 10, [](auto b) { return b == 0; }) &&
        client[10] == 0xFF && client[11] == 0xFF;
    IpBytes counted = client;
    if (!v4 && !IsLoopback(client)) {
        std::fill(counted.begin() + 8, counted.end(), std::uint8_t{0});
    }
    return counted;
}

} // namespace

ClientTicket::ClientTicket(std::shared_ptr<ClientCounts> counts, const IpBytes& client)
    : m_counts(std::move(counts)), m_client(client) {}

ClientTicket::~ClientTicket() {
    m_counts->Release(m_client, m_tunnel);
}

bool ClientTicket::BecomeTunnel() {
    if (!m_tunnel) {
        m_tunnel = m_counts->TakeTunnel(m_client);
    }
    return m_tunnel;
}

ConnectionTicket ClientCounts::Admit(const IpBytes& address) {
    const IpBytes client = CountedAs(address);
    {
        const std::lock_guard lock(m_mutex);
        Held& held = m_held[client];
        if (held.connections >= m_limits.connections) {
            return nullptr;
        }
        ++held.connections;
    }
    return std::make_shared<ClientTicket>(shared_from_this(), client);
}

std::size_t ClientCounts::Connections(const IpBytes& address) const {
    const std::lock_guard lock(m_mutex);
    const auto found = m_held.find(CountedAs(address));
    return found == m_held.end() ? 0 : found->second.connections;
}

bool ClientCounts::TakeTunnel(const IpBytes& client) {
    const std::lock_guard lock(m_mutex);
    Held& held = m_held[client];
    if (held.tunnels >= m_limits.tunnels) {
        return false;
    }
    ++held.tunnels;
    return true;
}

void ClientCounts::Release(const IpBytes& client, bool tunnel) {
    const std::lock_guard lock(m_mutex);
    const auto found = m_held.find(client);
    if (found == m_held.end()) {
        return;
    }
    --found->second.connections;
    found->second.tunnels -= tunnel ? 1 : 0;
    if (found->second.connections == 0) {
        m_held.erase(found); // no entry lingers for a client gone
    }
}

} // namespace proxy
