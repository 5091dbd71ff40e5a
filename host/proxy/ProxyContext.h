// SPDX-License-Identifier: Apache-2.0
// What every connection of the proxy shares, and the entry points of the
// parts that run on Boost.Asio: the session that reads requests, the
// relay to --direct hosts and the CONNECT tunnel.
#pragma once

#include "host/proxy/ClientCounts.h"
#include "host/proxy/LocalAuthority.h"
#include "host/proxy/ProxyServer.h"
#include "host/proxy/Responses.h"
#include "host/proxy/Routing.h"
#include "host/proxy/UpstreamPool.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace proxy {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

class ProxyContext {
  public:
    ProxyContext(ProxyOptions options, std::unique_ptr<LocalAuthority> authority);

    const ProxyOptions& Options() const { return m_options; }
    UpstreamPool& Upstream() { return m_upstream; }

    /// The rules with the offline state as it is now.
    Policy CurrentPolicy();

    const std::string& ViaToken() const { return m_viaToken; }
    /// The key this run's copy views are answered for (CopyView.h).
    const std::string& CopyKey() const { return m_copyKey; }

    /// "http://host:port" of the proxy itself, for links on its pages.
    std::string SelfOrigin() const;
    void SetPort(std::uint16_t port) { m_port = port; }

    /// True when --trust-unverified names `host`.
    bool TrustsUnverified(const std::string& host) const;

    /// The TLS context for intercepting `host`; null without --intercept
    /// or for a host no certificate can name.
    std::shared_ptr<asio::ssl::context> TlsFor(const std::string& host);

  private:
    bool Offline();

    ProxyOptions m_options;
    std::unique_ptr<LocalAuthority> m_authority;
    std::string m_viaToken;
    std::string m_copyKey;
    std::vector<IpBytes> m_ownAddresses; // this machine's, read at start
    std::atomic<std::uint16_t> m_port{0};
    std::atomic<bool> m_offline{false};
    std::atomic<std::int64_t> m_offlineCheckedMs{-1};
    std::mutex m_tlsMutex;
    std::map<std::string, std::shared_ptr<asio::ssl::context>> m_tls;
    UpstreamPool m_upstream; // last: its forwards end before the rest goes
};

/// The address as the 16 bytes the access rules compare.
IpBytes AddressBytes(const asio::ip::address& address);

/// Serves the requests of one accepted connection, counted by `ticket`.
void ServeConnection(std::shared_ptr<ProxyContext> context, tcp::socket socket,
                     ConnectionTicket ticket);

/// A connection to a --direct host, kept for the next request of the same
/// browser connection.
struct DirectLink;

using Request = http::request<http::string_body>;

/// Forwards `request` (its body already read) to the --direct host of
/// `target` and streams the response to `client`. `done` gets whether the
/// client connection can carry another request, or, when nothing was sent
/// to the client, the status to answer with (0 otherwise). An HTML page
/// that may hold the control is not sent but handed whole to `whole`
/// instead (PanelHook.h), when `whole` is given. For a client on another
/// machine, addresses of this machine are not connected to (403).
void RelayToDirectHost(std::shared_ptr<DirectLink>& link, beast::tcp_stream& client,
                       Request& request, const ProxyTarget& target, const std::string& via,
                       bool clientLoopback,
                       std::function<void(bool keepAlive, unsigned failure)> done,
                       std::function<void(std::shared_ptr<TextResponse> page)> whole);

/// Who asked for a tunnel and where the proxy listens: a tunnel never leads
/// back into the proxy, and only a client on this machine may open one to a
/// machine-local address (checked on the addresses the name resolves to).
struct TunnelRules {
    bool clientLoopback = true;
    ListenAddress self;
};

/// Relays bytes both ways between `client` and `target`'s host until either
/// side ends, after answering the CONNECT (502 when the host cannot be
/// reached, 403 or 508 when `rules` refuse every address it resolves to).
/// `early` holds bytes the client sent after its CONNECT.
void StartTunnel(beast::tcp_stream client, const Authority& target, std::string early,
                 const TunnelRules& rules, ConnectionTicket ticket);

} // namespace proxy
