// SPDX-License-Identifier: Apache-2.0
// The two ways a request bypasses the internet library: the relay to a
// --direct host (the application's own engine, reachable while offline) and
// the CONNECT tunnel (https the proxy does not intercept).
#include "host/proxy/ForwardedHeaders.h"
#include "host/proxy/PanelHook.h"
#include "host/proxy/ProxyContext.h"
#include "platform/inet/LocalAddresses.h"

#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/http/buffer_body.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/serializer.hpp>
#include <boost/beast/http/write.hpp>

#include <array>
#include <chrono>
#include <cstring>
#include <limits>
#include <optional>

namespace proxy {

using error_code = boost::system::error_code;

struct DirectLink {
    explicit DirectLink(const asio::any_io_executor& executor) : stream(executor) {}
    Authority authority;
    beast::tcp_stream stream;
    beast::flat_buffer buffer;
};

namespace {

constexpr auto kConnectTime = std::chrono::seconds(30);
constexpr auto kTransferTime = std::chrono::seconds(60);
constexpr auto kTunnelIdle = std::chrono::minutes(10);
constexpr std::size_t kPiece = std::size_t{64} * 1024;

class DirectRelay : public std::enable_shared_from_this<DirectRelay> {
  public:
    using Done = std::function<void(bool keepAlive, unsigned failure)>;
    using Whole = std::function<void(std::shared_ptr<TextResponse> response)>;

    DirectRelay(std::shared_ptr<DirectLink>& slot, beast::tcp_stream& client, Request& request,
                const ProxyTarget& target, const std::string& via, bool clientLoopback, Done done,
                Whole whole)
        : m_slot(slot), m_client(client), m_request(request), m_target(target),
          m_clientLoopback(clientLoopback), m_head(request.method() == http::verb::head),
          m_clientVersion(request.version()), m_clientKeepAlive(request.keep_alive()),
          m_resolver(client.get_executor()), m_done(std::move(done)), m_whole(std::move(whole)) {
        RemoveHopByHop(m_request);
        m_request.target(m_target.path);
        m_request.version(11);
        m_request.set(http::field::host, HostKey(m_target.authority, false));
        m_request.insert(http::field::via, "1.1 " + via);
        m_request.keep_alive(true);
        m_request.prepare_payload();
    }

    void Start() {
        if (m_slot && SameAuthority(m_slot->authority, m_target.authority) &&
            m_slot->stream.socket().is_open()) {
            m_link = m_slot;
            m_reused = true;
            return Send();
        }
        m_slot.reset();
        Connect();
    }

  private:
    void Connect() {
        m_reused = false;
        m_link = std::make_shared<DirectLink>(m_client.get_executor());
        m_link->authority = m_target.authority;
        m_resolver.async_resolve(
            m_target.authority.host, std::to_string(m_target.authority.port),
            [self = shared_from_this()](error_code ec, const tcp::resolver::results_type& found) {
                if (ec) {
                    return self->m_done(false, 502);
                }
                // Connected only to the addresses checked here: the name is
                // not resolved again.
                std::vector<tcp::endpoint> allowed;
                for (const auto& entry : found) {
                    if (self->m_clientLoopback ||
                        !inet::IsThisMachinesAddress(entry.endpoint().address().to_string())) {
                        allowed.push_back(entry.endpoint());
                    }
                }
                if (allowed.empty()) {
                    return self->m_done(false, 403);
                }
                self->m_link->stream.expires_after(kConnectTime);
                self->m_link->stream.async_connect(
                    allowed, [self](error_code connectError, const tcp::endpoint&) {
                        if (connectError) {
                            return self->m_done(false, 502);
                        }
                        self->Send();
                    });
            });
    }

    /// A kept connection the host has meanwhile closed fails at once; the
    /// request then goes on a fresh one.
    bool RetryOnFresh(const error_code& ec) {
        if (!m_reused || (ec != http::error::end_of_stream && ec != asio::error::connection_reset &&
                          ec != asio::error::broken_pipe && ec != asio::error::eof)) {
            return false;
        }
        Connect();
        return true;
    }

    void Send() {
        m_link->stream.expires_after(kTransferTime);
        http::async_write(m_link->stream, m_request,
                          [self = shared_from_this()](error_code ec, std::size_t) {
                              if (ec) {
                                  return self->RetryOnFresh(ec) ? void() : self->m_done(false, 502);
                              }
                              self->ReadHead();
                          });
    }

    void ReadHead() {
        m_parser.emplace();
        // Any size: the body streams through. (A limit of none compares
        // wrongly against a Content-Length in this version of Beast.)
        m_parser->body_limit(std::numeric_limits<std::uint64_t>::max());
        m_parser->skip(m_head);
        m_link->stream.expires_after(kTransferTime);
        http::async_read_header(m_link->stream, m_link->buffer, *m_parser,
                                [self = shared_from_this()](error_code ec, std::size_t) {
                                    if (ec) {
                                        return self->RetryOnFresh(ec) ? void()
                                                                      : self->m_done(false, 502);
                                    }
                                    self->SendHead();
                                });
    }

    void SendHead() {
        auto& response = m_parser->get();
        m_upstreamKeepAlive = response.keep_alive();
        const unsigned status = response.result_int();
        m_bodyless = m_head || status < 200 || status == 204 || status == 304;
        RemoveHopByHop(response);
        response.version(m_clientVersion);
        VaryByDestination(response.base());
        if (m_whole && MayHoldPanel(status, response.base())) {
            if (m_head) {
                // Only the page, seen whole, says what length GET would send.
                response.erase(http::field::content_length);
            } else {
                m_gathering = true; // seen whole, for the panel
                return Pump();
            }
        }
        WriteHead();
    }

    void WriteHead() {
        auto& response = m_parser->get();
        const bool bodyless = m_bodyless;
        const boost::optional<std::uint64_t> length = m_parser->content_length();
        if (!bodyless && length) {
            response.content_length(*length);
        } else if (!bodyless && m_clientVersion >= 11) {
            response.chunked(true);
        } else if (!bodyless) {
            m_clientKeepAlive = false; // the end of the body is the end of the connection
        }
        response.keep_alive(m_clientKeepAlive);
        m_serializer.emplace(response);
        m_client.expires_after(kTransferTime);
        http::async_write_header(m_client, *m_serializer,
                                 [self = shared_from_this(), bodyless](error_code ec, std::size_t) {
                                     if (ec) {
                                         return self->Abort();
                                     }
                                     if (bodyless) {
                                         return self->Finish();
                                     }
                                     self->m_held.empty() ? self->Pump() : self->WriteHeld();
                                 });
    }

    /// Gathers a page piece; streams on when it proves too large for one.
    void Gather() {
        auto& body = m_parser->get().body();
        if (!m_pieces.Add(std::string_view(m_piece.data(), m_piece.size() - body.size))) {
            m_gathering = false;
            m_held = m_pieces.Take();
            return WriteHead();
        }
        if (!m_parser->is_done()) {
            return Pump();
        }
        if (m_upstreamKeepAlive) {
            m_slot = m_link;
        } else {
            m_slot.reset();
        }
        m_whole(m_pieces.Whole(m_parser->get().base(), m_clientKeepAlive));
    }

    /// Writes what was gathered before the page proved too large.
    void WriteHeld() {
        auto& body = m_parser->get().body();
        body.data = m_held.data();
        body.size = m_held.size();
        body.more = true;
        m_client.expires_after(kTransferTime);
        http::async_write(m_client, *m_serializer,
                          [self = shared_from_this()](error_code ec, std::size_t) {
                              if (ec && ec != http::error::need_buffer) {
                                  return self->Abort();
                              }
                              self->m_held.clear();
                              self->m_parser->is_done() ? self->EndBody() : self->Pump();
                          });
    }

    void EndBody() {
        auto& body = m_parser->get().body();
        body.data = nullptr;
        body.size = 0;
        body.more = false;
        http::async_write(m_client, *m_serializer,
                          [self = shared_from_this()](error_code ec, std::size_t) {
                              if (ec && ec != http::error::need_buffer) {
                                  return self->Abort();
                              }
                              self->Finish();
                          });
    }

    void Pump() {
        auto& body = m_parser->get().body();
        body.data = m_piece.data();
        body.size = m_piece.size();
        m_link->stream.expires_after(kTransferTime);
        http::async_read(m_link->stream, m_link->buffer, *m_parser,
                         [self = shared_from_this()](error_code ec, std::size_t) {
                             if (ec && ec != http::error::need_buffer) {
                                 return self->Abort();
                             }
                             self->Deliver();
                         });
    }

    void Deliver() {
        if (m_gathering) {
            return Gather();
        }
        auto& body = m_parser->get().body();
        body.size = m_piece.size() - body.size;
        body.data = m_piece.data();
        body.more = !m_parser->is_done();
        m_client.expires_after(kTransferTime);
        http::async_write(m_client, *m_serializer,
                          [self = shared_from_this()](error_code ec, std::size_t) {
                              if (ec && ec != http::error::need_buffer) {
                                  return self->Abort();
                              }
                              self->m_parser->is_done() ? self->Finish() : self->Pump();
                          });
    }

    void Finish() {
        if (m_upstreamKeepAlive && m_parser->is_done()) {
            m_slot = m_link;
        } else {
            m_slot.reset();
        }
        m_done(m_clientKeepAlive, 0);
    }

    void Abort() {
        m_slot.reset();
        m_link->stream.close();
        m_done(false, 0);
    }

    std::shared_ptr<DirectLink>& m_slot;
    beast::tcp_stream& m_client;
    Request& m_request;
    ProxyTarget m_target;
    bool m_clientLoopback;
    bool m_head;
    unsigned m_clientVersion;
    bool m_clientKeepAlive;
    bool m_upstreamKeepAlive = false;
    bool m_reused = false;
    bool m_bodyless = false;
    bool m_gathering = false;
    PagePieces m_pieces;
    std::string m_held;
    tcp::resolver m_resolver;
    Done m_done;
    Whole m_whole;
    std::shared_ptr<DirectLink> m_link;
    std::optional<http::response_parser<http::buffer_body>> m_parser;
    std::optional<http::response_serializer<http::buffer_body>> m_serializer;
    std::array<char, kPiece> m_piece{};
};

class Tunnel : public std::enable_shared_from_this<Tunnel> {
  public:
    Tunnel(beast::tcp_stream client, const Authority& target, std::string early,
           const TunnelRules& rules, ConnectionTicket ticket)
        : m_ticket(std::move(ticket)), m_client(client.release_socket()),
          m_upstream(m_client.get_executor()), m_resolver(m_client.get_executor()),
          m_idle(m_client.get_executor()), m_target(target), m_early(std::move(early)),
          m_rules(rules) {}

    void Start() {
        m_resolver.async_resolve(
            m_target.host, std::to_string(m_target.port),
            [self = shared_from_this()](error_code ec, const tcp::resolver::results_type& found) {
                if (ec) {
                    return self->Refuse();
                }
                std::vector<tcp::endpoint> allowed;
                const char* refusal = self->Admit(found, allowed);
                if (allowed.empty()) {
                    return self->Refuse(refusal);
                }
                self->Watch();
                asio::async_connect(self->m_upstream, allowed,
                                    [self](error_code connectError, const tcp::endpoint&) {
                                        connectError ? self->Refuse() : self->Established();
                                    });
            });
    }

  private:
    static constexpr const char* kRefused = "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n"
                                            "Connection: close\r\n\r\n";
    static constexpr const char* kLoop = "HTTP/1.1 508 Loop Detected\r\nContent-Length: 0\r\n"
                                         "Connection: close\r\n\r\n";
    static constexpr const char* kLocalOnly = "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n"
                                              "Connection: close\r\n\r\n";

    /// The resolved addresses the rules let the tunnel reach, and the
    /// answer to give when they let it reach none.
    const char* Admit(const tcp::resolver::results_type& found,
                      std::vector<tcp::endpoint>& allowed) const {
        const char* refusal = kRefused;
        for (const auto& entry : found) {
            const tcp::endpoint endpoint = entry.endpoint();
            const IpBytes address = AddressBytes(endpoint.address());
            const std::optional<IpBytes> listen = ParseIp(m_rules.self.host);
            const bool thisMachine = inet::IsThisMachinesAddress(endpoint.address().to_string());
            const bool reachesProxy = endpoint.port() == m_rules.self.port &&
                                      (thisMachine || (listen && *listen == address));
            if (reachesProxy) {
                refusal = kLoop;
            } else if (!m_rules.clientLoopback && thisMachine) {
                refusal = kLocalOnly;
            } else {
                allowed.push_back(endpoint);
            }
        }
        return refusal;
    }

    void Refuse(const char* answer = kRefused) {
        asio::async_write(m_client, asio::buffer(answer, std::strlen(answer)),
                          [self = shared_from_this()](error_code, std::size_t) { self->Stop(); });
    }

    void Established() {
        static const std::string kEstablished = "HTTP/1.1 200 Connection established\r\n\r\n";
        asio::async_write(m_client, asio::buffer(kEstablished),
                          [self = shared_from_this()](error_code ec, std::size_t) {
                              if (ec) {
                                  return self->Stop();
                              }
                              asio::async_write(
                                  self->m_upstream, asio::buffer(self->m_early),
                                  [self](error_code earlyError, std::size_t) {
                                      if (earlyError) {
                                          return self->Stop();
                                      }
                                      self->Pump(self->m_client, self->m_upstream, self->m_up);
                                      self->Pump(self->m_upstream, self->m_client, self->m_down);
                                  });
                          });
    }

    void Pump(tcp::socket& from, tcp::socket& to, std::array<char, kPiece>& piece) {
        from.async_read_some(asio::buffer(piece), [self = shared_from_this(), &from, &to,
                                                   &piece](error_code ec, std::size_t n) {
            self->m_lastActivity = std::chrono::steady_clock::now();
            if (ec) {
                // One side is done sending: pass that on, and end when both are.
                error_code ignored;
                to.shutdown(tcp::socket::shutdown_send, ignored);
                if (++self->m_ended == 2 || ec != asio::error::eof) {
                    self->Stop();
                }
                return;
            }
            asio::async_write(to, asio::buffer(piece.data(), n),
                              [self, &from, &to, &piece](error_code writeError, std::size_t) {
                                  if (writeError) {
                                      return self->Stop();
                                  }
                                  self->Pump(from, to, piece);
                              });
        });
    }

    /// Ends a tunnel that carried nothing for a long time.
    void Watch() {
        m_idle.expires_after(std::chrono::minutes(1));
        m_idle.async_wait([self = shared_from_this()](error_code ec) {
            if (ec || self->m_stopped) {
                return;
            }
            if (std::chrono::steady_clock::now() - self->m_lastActivity > kTunnelIdle) {
                return self->Stop();
            }
            self->Watch();
        });
    }

    void Stop() {
        m_stopped = true;
        error_code ignored;
        m_client.close(ignored);
        m_upstream.close(ignored);
        m_idle.cancel();
    }

    ConnectionTicket m_ticket;
    tcp::socket m_client;
    tcp::socket m_upstream;
    tcp::resolver m_resolver;
    asio::steady_timer m_idle;
    Authority m_target;
    std::string m_early;
    TunnelRules m_rules;
    std::array<char, kPiece> m_up{};
    std::array<char, kPiece> m_down{};
    std::chrono::steady_clock::time_point m_lastActivity = std::chrono::steady_clock::now();
    int m_ended = 0;
    bool m_stopped = false;
};

} // namespace

void RelayToDirectHost(std::shared_ptr<DirectLink>& link, beast::tcp_stream& client,
                       Request& request, const ProxyTarget& target, const std::string& via,
                       bool clientLoopback,
                       std::function<void(bool keepAlive, unsigned failure)> done,
                       std::function<void(std::shared_ptr<TextResponse> page)> whole) {
    std::make_shared<DirectRelay>(link, client, request, target, via, clientLoopback,
                                  std::move(done), std::move(whole))
        ->Start();
}

void StartTunnel(beast::tcp_stream client, const Authority& target, std::string early,
                 const TunnelRules& rules, ConnectionTicket ticket) {
    std::make_shared<Tunnel>(std::move(client), target, std::move(early), rules, std::move(ticket))
        ->Start();
}

} // namespace proxy
