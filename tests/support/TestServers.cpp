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

/// Connections a test server serves at once.
constexpr std::size_t kServerThreads = 32;

} // namespace

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

LocalServer::LocalServer() : server_(std::make_unique<httplib::Server>()) {}

LocalServer::LocalServer(const Identity& identity)
    : server_(std::make_unique<httplib::SSLServer>(identity.cert.get(), identity.key.get())) {}

LocalServer::~LocalServer() {
    server_->stop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void LocalServer::Start() {
    server_->set_keep_alive_max_count(1000);
    server_->set_keep_alive_timeout(2);
    server_->set_tcp_nodelay(true);
    // A thread per open connection, as a web server has: a crawl with
    // several connections keeps each of them open while it runs.
    // The server takes ownership of the queue it is handed.
    server_->new_task_queue = [] {
        return std::make_unique<httplib::ThreadPool>(kServerThreads).release();
    };
    // Counted before the request is answered: a logger runs after the reply
    // is sent, when the client may already be asking how many there were.
    server_->set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
        const std::lock_guard lock(mutex_);
        clientPorts_.insert(request.remote_port);
        return httplib::Server::HandlerResponse::Unhandled;
    });
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) {
        throw std::runtime_error("cannot start the test server");
    }
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    while (!server_->is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::size_t LocalServer::Connections() const {
    const std::lock_guard lock(mutex_);
    return clientPorts_.size();
}

RawServer::RawServer(Handler handler) : handler_(std::move(handler)) {
    listener_ = BoundSocket(port_);
    ::listen(listener_, 16);
    thread_ = std::thread([this] { Serve(); });
}

RawServer::~RawServer() {
    stopping_ = true;
    thread_.join();
    ::close(listener_);
}

std::vector<std::string> RawServer::Heads() const {
    const std::lock_guard lock(mutex_);
    return heads_;
}

void RawServer::Idle(int ms) {
    for (int waited = 0; waited < ms && !stopping_; waited += 10) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void RawServer::Send(int fd, const std::string& bytes) {
    ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

void RawServer::Serve() {
    while (!stopping_) {
        pollfd waiting{listener_, POLLIN, 0};
        const int fd =
            ::poll(&waiting, 1, 20) > 0 ? ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC) : -1;
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
            const std::lock_guard lock(mutex_);
            heads_.push_back(head);
        }
        handler_(*this, fd, head);
        ::close(fd);
    }
}

int ClosedPort() {
    int port = 0;
    ::close(BoundSocket(port));
    return port;
}

} // namespace testsupport
