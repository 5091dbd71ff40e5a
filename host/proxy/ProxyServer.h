// SPDX-License-Identifier: Apache-2.0
// `dravik proxy`: an HTTP/1.1 forward proxy on loopback that answers a
// browser from the URL cache while the internet library is offline and
// forwards through the library (storing what it fetches) while online.
//
// Connections are served by a few I/O threads (Boost.Asio), never a thread
// per connection; requests are forwarded through the internet library's
// asynchronous exchanges, which no thread waits for.
#pragma once

#include "host/proxy/AccessRules.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace proxy {

struct ProxyOptions {
    ListenAddress listen;
    std::vector<Network> allow;               // clients answered beside loopback
    std::vector<DirectHost> direct;           // hosts forwarded whatever the state
    std::vector<std::uint16_t> connectPorts;  // CONNECT ports besides 443
    std::vector<std::string> trustUnverified; // hosts whose unverified https copies are served
    bool offline = false;                     // answer from the cache whatever the library says
    bool intercept = false;                   // end TLS here to answer https from the cache
    bool noStore = false;                     // keep forwarded responses out of the cache
    std::string authorityFolder;              // for --intercept
    std::size_t ioThreads = 2;
    /// Forwards under way at once; a request beyond is answered 503. Each
    /// holds only its own connections, so slow origins or browsers that stop
    /// reading hold nobody else's.
    std::size_t maxForwards = 1024;
};

class ProxyServer {
  public:
    /// Listens and starts serving; null with `error` saying what to change.
    static std::unique_ptr<ProxyServer> Start(const ProxyOptions& options, std::string& error);
    ~ProxyServer();
    ProxyServer(const ProxyServer&) = delete;
    ProxyServer& operator=(const ProxyServer&) = delete;

    /// The port it listens on (the one the system chose for port 0).
    std::uint16_t Port() const;

    /// Stops accepting and ends every connection.
    void Stop();

    struct Impl;
    explicit ProxyServer(std::unique_ptr<Impl> impl);

  private:
    std::unique_ptr<Impl> m_impl;
};

} // namespace proxy
