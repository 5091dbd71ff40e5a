// SPDX-License-Identifier: Apache-2.0
#include "host/proxy/ClientCounts.h"

namespace proxy {

ClientTicket::ClientTicket(std::shared_ptr<ClientCounts> counts, const IpBytes& client)
    : counts_(std::move(counts)), client_(client) {}

ClientTicket::~ClientTicket() {
    counts_->Release(client_, tunnel_);
}

bool ClientTicket::BecomeTunnel() {
    if (!tunnel_) {
        tunnel_ = counts_->TakeTunnel(client_);
    }
    return tunnel_;
}

ConnectionTicket ClientCounts::Admit(const IpBytes& client) {
    {
        const std::lock_guard lock(mutex_);
        Held& held = held_[client];
        if (held.connections >= limits_.connections) {
            return nullptr;
        }
        ++held.connections;
    }
    return std::make_shared<ClientTicket>(shared_from_this(), client);
}

std::size_t ClientCounts::Connections(const IpBytes& client) const {
    const std::lock_guard lock(mutex_);
    const auto found = held_.find(client);
    return found == held_.end() ? 0 : found->second.connections;
}

bool ClientCounts::TakeTunnel(const IpBytes& client) {
    const std::lock_guard lock(mutex_);
    Held& held = held_[client];
    if (held.tunnels >= limits_.tunnels) {
        return false;
    }
    ++held.tunnels;
    return true;
}

void ClientCounts::Release(const IpBytes& client, bool tunnel) {
    const std::lock_guard lock(mutex_);
    const auto found = held_.find(client);
    if (found == held_.end()) {
        return;
    }
    --found->second.connections;
    found->second.tunnels -= tunnel ? 1 : 0;
    if (found->second.connections == 0) {
        held_.erase(found); // no entry lingers for a client gone
    }
}

} // namespace proxy
