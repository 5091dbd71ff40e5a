// SPDX-License-Identifier: Apache-2.0
// Servers on 127.0.0.1 for the platform tests.
//
// LocalServer wraps a cpp-httplib server (http, or https with a test
// certificate) on a free port and counts the connections it accepted.
// RawServer answers with bytes written by the test itself, for exact
// request lines and for servers that stall.
#pragma once

#include "support/TestCertificates.h"

#include <httplib.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class LocalServer {
  public:
    /// A plain http server.
    LocalServer();
    /// An https server presenting `identity`.
    explicit LocalServer(const Identity& identity);
    ~LocalServer();

    /// Routes are added before Start.
    httplib::Server& Routes() { return *m_server; }
    /// Serves with `threads` threads: as many requests at once.
    void Start(std::size_t threads = 32);
    int Port() const { return m_port; }

    /// Distinct client connections that sent at least one request.
    std::size_t Connections() const;
    /// TLS handshakes begun, and those that resumed a session (https only).
    int Handshakes() const { return m_handshakes; }
    int ResumedHandshakes() const { return m_resumed; }

  private:
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
    mutable std::mutex m_mutex;
    std::set<int> m_clientPorts;
    std::atomic<int> m_handshakes{0};
    std::atomic<int> m_resumed{0};
};

class RawServer {
  public:
    /// Called for each request with its socket and everything up to the
    /// empty line; the connection is closed when it returns.
    using Handler = std::function<void(RawServer& server, int fd, const std::string& head)>;

    explicit RawServer(Handler handler);
    /// Answers every request with `reply` as it stands.
    explicit RawServer(const std::string& reply)
        : RawServer([reply](RawServer&, int fd, const std::string&) { Send(fd, reply); }) {}
    ~RawServer();

    int Port() const { return m_port; }
    std::vector<std::string> Heads() const;

    /// Sleeps up to `ms`, less when the server is shutting down.
    void Idle(int ms);

    static void Send(int fd, const std::string& bytes);

  private:
    void Serve();

    Handler m_handler;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_heads;
    std::thread m_thread;
};

/// A port on 127.0.0.1 where nothing listens.
int ClosedPort();

} // namespace testsupport
