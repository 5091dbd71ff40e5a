// SPDX-License-Identifier: Apache-2.0
#include "host/proxy/ProxyServer.h"

#include "host/common/ExitStatus.h"
#include "host/proxy/ClientCounts.h"
#include "host/proxy/HeaderFields.h"
#include "host/proxy/ProxyContext.h"
#include "platform/inet/ConnectedState.h"
#include "platform/inet/WinInet.h"

#include <ifaddrs.h>
#include <netinet/in.h>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>

namespace proxy {

using error_code = boost::system::error_code;

namespace {

// How long an offline state read from the library is taken as current: a
// look costs a database read, and a user switching takes longer anyway.
constexpr std::int64_t kOfflineCheckMs = 500;

// How long accepting pauses after an error such as running out of
// descriptors: the pending connection stays in the listen queue, and
// trying again at once would only fail again, a whole core busy with it.
constexpr auto kAcceptPause = std::chrono::milliseconds(100);

/// Says why to a client that holds as many connections as it may, and
/// closes. The answer fits any fresh socket's send buffer: a write that
/// would wait is simply dropped with the connection.
void RefuseBusy(tcp::socket& socket) {
    static const std::string kBusy =
        "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain\r\n"
        "Content-Length: 46\r\nConnection: close\r\n\r\n"
        "Too many connections from this address at once";
    error_code ignored;
    socket.non_blocking(true, ignored);
    socket.write_some(asio::buffer(kBusy), ignored);
    socket.shutdown(tcp::socket::shutdown_both, ignored);
    socket.close(ignored);
}

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

/// Runs a loop; what escapes a handler ends the process with a message
/// (the connections of the loop are lost with it) rather than terminate().
void RunLoop(asio::io_context& loop) {
    try {
        loop.run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dravik proxy: %s\n", e.what());
        std::_Exit(kExitFailed);
    }
}

std::string NewViaToken() {
    std::random_device random;
    char text[32];
    std::snprintf(text, sizeof text, "dravik-%08x", static_cast<unsigned>(random()));
    return text;
}

/// 128 random bits as hex: not guessable by a page that tries addresses.
std::string NewCopyKey() {
    std::random_device random;
    std::string key;
    for (int i = 0; i < 4; ++i) {
        char part[9];
        std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(random()));
        key += part;
    }
    return key;
}

} // namespace

IpBytes AddressBytes(const asio::ip::address& address) {
    IpBytes out{};
    if (address.is_v4()) {
        out[10] = out[11] = 0xFF;
        const auto v4 = address.to_v4().to_bytes();
        std::copy(v4.begin(), v4.end(), out.begin() + 12);
    } else {
        const auto v6 = address.to_v6().to_bytes();
        std::copy(v6.begin(), v6.end(), out.begin());
    }
    return out;
}

namespace {

/// The addresses of this machine's interfaces, as the access rules compare
/// them.
std::vector<IpBytes> OwnAddresses() {
    std::vector<IpBytes> own;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return own;
    }
    for (const ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
        if (a->ifa_addr == nullptr) {
            continue;
        }
        if (a->ifa_addr->sa_family == AF_INET) {
            const auto* v4 = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
            asio::ip::address_v4::bytes_type bytes{};
            std::memcpy(bytes.data(), &v4->sin_addr, bytes.size());
            own.push_back(AddressBytes(asio::ip::address_v4(bytes)));
        } else if (a->ifa_addr->sa_family == AF_INET6) {
            const auto* v6 = reinterpret_cast<const sockaddr_in6*>(a->ifa_addr);
            asio::ip::address_v6::bytes_type bytes{};
            std::memcpy(bytes.data(), &v6->sin6_addr, bytes.size());
            own.push_back(AddressBytes(asio::ip::address_v6(bytes)));
        }
    }
    ::freeifaddrs(list);
    return own;
}

} // namespace

ProxyContext::ProxyContext(ProxyOptions options, std::unique_ptr<LocalAuthority> authority)
    : m_options(std::move(options)), m_authority(std::move(authority)), m_viaToken(NewViaToken()),
      m_copyKey(NewCopyKey()), m_ownAddresses(OwnAddresses()), m_upstream(m_options.maxForwards) {}

bool ProxyContext::TrustsUnverified(const std::string& host) const {
    return std::any_of(m_options.trustUnverified.begin(), m_options.trustUnverified.end(),
                       [&](const std::string& trusted) { return NameEquals(trusted, host); });
}

bool ProxyContext::Offline() {
    if (m_options.offline) {
        return true;
    }
    const std::int64_t now = NowMs();
    const std::int64_t checked = m_offlineCheckedMs.load();
    if (checked < 0 || now - checked >= kOfflineCheckMs) {
        m_offline = inet::IsOfflineByUser();
        m_offlineCheckedMs = now;
    }
    return m_offline;
}

Policy ProxyContext::CurrentPolicy() {
    Policy policy;
    policy.direct = &m_options.direct;
    policy.self = m_options.listen;
    policy.self.port = m_port;
    policy.viaToken = m_viaToken;
    policy.offline = Offline();
    policy.intercept = m_authority != nullptr;
    policy.connectPorts = &m_options.connectPorts;
    policy.ownAddresses = &m_ownAddresses;
    return policy;
}

std::string ProxyContext::SelfOrigin() const {
    const bool v6 = m_options.listen.host.find(':') != std::string::npos;
    const std::string host = m_options.listen.host == "0.0.0.0" ? "127.0.0.1"
                             : v6                               ? "[" + m_options.listen.host + "]"
                                                                : m_options.listen.host;
    return "http://" + host + ":" + std::to_string(m_port.load());
}

std::shared_ptr<asio::ssl::context> ProxyContext::TlsFor(const std::string& host) {
    if (!m_authority) {
        return nullptr;
    }
    const std::lock_guard lock(m_tlsMutex);
    std::shared_ptr<asio::ssl::context>& tls = m_tls[host];
    if (tls) {
        return tls;
    }
    const std::shared_ptr<const LocalAuthority::Leaf> leaf = m_authority->LeafFor(host);
    if (!leaf) {
        return nullptr;
    }
    auto made = std::make_shared<asio::ssl::context>(asio::ssl::context::tls_server);
    made->set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                      asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                      asio::ssl::context::no_tlsv1_1);
    error_code ec;
    made->use_certificate_chain(asio::buffer(leaf->chainPem), ec);
    if (!ec) {
        made->use_private_key(asio::buffer(leaf->keyPem), asio::ssl::context::pem, ec);
    }
    if (ec) {
        return nullptr;
    }
    tls = std::move(made);
    return tls;
}

// One event loop per thread, each connection on one of them: a connection's
// handlers never run on two threads, and the threads never wait on each
// other.
struct ProxyServer::Impl {
    using WorkGuard = asio::executor_work_guard<asio::io_context::executor_type>;

    std::vector<std::unique_ptr<asio::io_context>> loops;
    std::vector<WorkGuard> guards;
    std::unique_ptr<tcp::acceptor> acceptor;
    std::shared_ptr<ProxyContext> context;
    ClientRules clients{{}};
    std::shared_ptr<ClientCounts> counts = std::make_shared<ClientCounts>();
    std::unique_ptr<asio::steady_timer> pause;
    std::vector<std::thread> threads;
    std::uint16_t port = 0;
    std::size_t next = 0;

    void Accept() {
        asio::io_context& loop = *loops[next++ % loops.size()];
        acceptor->async_accept(loop, [this](error_code ec, tcp::socket socket) {
            if (ec == asio::error::operation_aborted || !acceptor->is_open()) {
                return;
            }
            if (ec && ec != asio::error::connection_aborted) {
                return PauseAccepting();
            }
            if (!ec) {
                Admit(std::move(socket));
            }
            Accept();
        });
    }

    void PauseAccepting() {
        pause->expires_after(kAcceptPause);
        pause->async_wait([this](error_code ec) {
            if (!ec && acceptor->is_open()) {
                Accept();
            }
        });
    }

    void Admit(tcp::socket socket) {
        error_code peerError;
        const tcp::endpoint peer = socket.remote_endpoint(peerError);
        const IpBytes client = AddressBytes(peer.address());
        if (peerError || !clients.Allows(client)) {
            return; // anyone else is closed without a word: the socket goes here
        }
        ConnectionTicket ticket = counts->Admit(client);
        if (!ticket) {
            return RefuseBusy(socket);
        }
        // A response often goes out as a head and a body in two writes;
        // without this the second waits for an ACK.
        socket.set_option(tcp::no_delay(true), peerError);
        const auto executor = socket.get_executor();
        asio::post(executor, [context = context, socket = std::move(socket),
                              ticket = std::move(ticket)]() mutable {
            ServeConnection(std::move(context), std::move(socket), std::move(ticket));
        });
    }
};

ProxyServer::ProxyServer(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

ProxyServer::~ProxyServer() {
    Stop();
}

std::unique_ptr<ProxyServer> ProxyServer::Start(const ProxyOptions& options, std::string& error) {
    std::unique_ptr<LocalAuthority> authority;
    if (options.intercept) {
        authority = LocalAuthority::Open(options.authorityFolder, error);
        if (!authority) {
            return nullptr;
        }
    }
    auto impl = std::make_unique<Impl>();
    for (std::size_t i = 0; i < std::max<std::size_t>(1, options.ioThreads); ++i) {
        impl->loops.push_back(std::make_unique<asio::io_context>(1));
        // A socket object makes the loop's reactor (an epoll and an eventfd)
        // now, where a want of descriptors is reported as a failure to
        // start, rather than on the loop's thread at the first connection.
        tcp::socket reactorMade(*impl->loops.back());
        impl->guards.push_back(asio::make_work_guard(*impl->loops.back()));
    }
    impl->acceptor = std::make_unique<tcp::acceptor>(*impl->loops.front());
    impl->pause = std::make_unique<asio::steady_timer>(*impl->loops.front());
    impl->clients = ClientRules(options.allow);
    error_code ec;
    const asio::ip::address address = asio::ip::make_address(options.listen.host, ec);
    const tcp::endpoint endpoint(address, options.listen.port);
    if (!ec) {
        impl->acceptor->open(endpoint.protocol(), ec);
    }
    if (!ec) {
        impl->acceptor->set_option(asio::socket_base::reuse_address(true), ec);
        impl->acceptor->bind(endpoint, ec);
    }
    if (!ec) {
        impl->acceptor->listen(asio::socket_base::max_listen_connections, ec);
    }
    if (ec) {
        error = "cannot listen on " + options.listen.host + ":" +
                std::to_string(options.listen.port) + " (" + ec.message() + ")";
        return nullptr;
    }
    impl->port = impl->acceptor->local_endpoint().port();
    impl->context = std::make_shared<ProxyContext>(options, std::move(authority));
    impl->context->SetPort(impl->port);
    impl->Accept();
    for (const auto& loop : impl->loops) {
        impl->threads.emplace_back([io = loop.get()] { RunLoop(*io); });
    }
    return std::make_unique<ProxyServer>(std::move(impl));
}

std::uint16_t ProxyServer::Port() const {
    return m_impl->port;
}

void ProxyServer::Stop() {
    if (m_impl->threads.empty()) {
        return;
    }
    asio::post(*m_impl->loops.front(), [impl = m_impl.get()] {
        error_code ignored;
        impl->acceptor->close(ignored);
        impl->pause->cancel();
    });
    for (const auto& loop : m_impl->loops) {
        loop->stop();
    }
    for (std::thread& thread : m_impl->threads) {
        thread.join();
    }
    m_impl->threads.clear();
    // The forwards go before the connections that wait on them.
    m_impl->context->Upstream().Shutdown();
}

} // namespace proxy
