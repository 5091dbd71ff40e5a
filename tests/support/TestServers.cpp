// SPDX-License-Identifier: Apache-2.0
#include "support/TestServers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace testsupport {

namespace {

int BoundSocket(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("cannot bind a test socket");
    }
    port = ntohs(address.sin_port);
    return fd;
}

} // namespace

LocalServer::LocalServer() : m_server(std::make_unique<httplib::Server>()) {}

LocalServer::LocalServer(const Identity& identity)
    : m_server(std::make_unique<httplib::SSLServer>([&identity](SSL_CTX& context) {
          // Any key: a test may present one too weak for clients on purpose.
          SSL_CTX_set_security_level(&context, 0);
          return SSL_CTX_use_certificate(&context, identity.cert.get()) == 1 &&
                 SSL_CTX_use_PrivateKey(&context, identity.key.get()) == 1;
      })) {
    SSL_CTX* context = static_cast<httplib::SSLServer&>(*m_server).ssl_context();
    if (context == nullptr) {
        throw std::runtime_error("the test server cannot use its identity");
    }
    SSL_CTX_set_app_data(context, this);
    SSL_CTX_set_info_callback(context, [](const SSL* ssl, int where, int) {
        auto* self = static_cast<LocalServer*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
        if ((where & SSL_CB_HANDSHAKE_START) != 0 && !SSL_is_init_finished(ssl)) {
            ++self->m_handshakes;
        }
        if ((where & SSL_CB_HANDSHAKE_DONE) != 0 && SSL_session_reused(ssl) == 1) {
            ++self->m_resumed;
        }
    });
}

LocalServer::~LocalServer() {
    m_server->stop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void LocalServer::Start(std::size_t threads) {
    m_server->set_keep_alive_max_count(1000);
    m_server->set_keep_alive_timeout(2);
    m_server->set_tcp_nodelay(true);
    // A thread per open connection, as a web server has: a crawl with
    // several connections keeps each of them open while it runs.
    // The server takes ownership of the queue it is handed.
    m_server->new_task_queue = [threads] {
        return std::make_unique<httplib::ThreadPool>(threads).release();
    };
    // Counted before the request is answered: a logger runs after the reply
    // is sent, when the client may already be asking how many there were.
    m_server->set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
        const std::lock_guard lock(m_mutex);
        m_clientPorts.insert(request.remote_port);
        return httplib::Server::HandlerResponse::Unhandled;
    });
    m_port = m_server->bind_to_any_port("127.0.0.1");
    if (m_port <= 0) {
        throw std::runtime_error("cannot start the test server");
    }
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    while (!m_server->is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::size_t LocalServer::Connections() const {
    const std::lock_guard lock(m_mutex);
    return m_clientPorts.size();
}

RawServer::RawServer(Handler handler) : m_handler(std::move(handler)) {
    m_listener = BoundSocket(m_port);
    ::listen(m_listener, 16);
    m_thread = std::thread([this] { Serve(); });
}

RawServer::~RawServer() {
    m_stopping = true;
    m_thread.join();
    ::close(m_listener);
}

std::vector<std::string> RawServer::Heads() const {
    const std::lock_guard lock(m_mutex);
    return m_heads;
}

void RawServer::Idle(int ms) {
    for (int waited = 0; waited < ms && !m_stopping; waited += 10) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void RawServer::Send(int fd, const std::string& bytes) {
    ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

void RawServer::Serve() {
    while (!m_stopping) {
        pollfd waiting{m_listener, POLLIN, 0};
        const int fd = ::poll(&waiting, 1, 20) > 0
                           ? ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC)
                           : -1;
        if (fd < 0) {
            continue;
        }
        std::string head;
        char piece[1024];
        for (ssize_t n = 1; n > 0 && head.find("\r\n\r\n") == std::string::npos;) {
            n = ::recv(fd, piece, sizeof piece, 0);
            head.append(piece, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
        }
        {
            const std::lock_guard lock(m_mutex);
            m_heads.push_back(head);
        }
        m_handler(*this, fd, head);
        ::close(fd);
    }
}

int ClosedPort() {
    int port = 0;
    ::close(BoundSocket(port));
    return port;
}

} // namespace testsupport
