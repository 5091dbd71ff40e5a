// SPDX-License-Identifier: Apache-2.0
// The two ways a request bypasses the internet library: the relay to a
// --direct host (the application's own engine, reachable while offline) and
// the CONNECT tunnel (https the proxy does not intercept).
#include "host/proxy/ForwardedHeaders.h"
#include "host/proxy/PanelHook.h"
#include "host/proxy/ProxyContext.h"

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
                const ProxyTarget& target, const std::string& via, Done done, Whole whole)
        : slot_(slot), client_(client), request_(request), target_(target),
          head_(request.method() == http::verb::head), clientVersion_(request.version()),
          clientKeepAlive_(request.keep_alive()), resolver_(client.get_executor()),
          done_(std::move(done)), whole_(std::move(whole)) {
        RemoveHopByHop(request_);
        request_.target(target_.path);
        request_.version(11);
        request_.set(http::field::host, HostKey(target_.authority, false));
        request_.insert(http::field::via, "1.1 " + via);
        request_.keep_alive(true);
        request_.prepare_payload();
    }

    void Start() {
        if (slot_ && SameAuthority(slot_->authority, target_.authority) &&
            slot_->stream.socket().is_open()) {
            link_ = slot_;
            reused_ = true;
            return Send();
        }
        slot_.reset();
        Connect();
    }

  private:
    void Connect() {
        reused_ = false;
        link_ = std::make_shared<DirectLink>(client_.get_executor());
        link_->authority = target_.authority;
        resolver_.async_resolve(
            target_.authority.host, std::to_string(target_.authority.port),
            [self = shared_from_this()](error_code ec, const tcp::resolver::results_type& found) {
                if (ec) {
                    return self->done_(false, 502);
                }
                self->link_->stream.expires_after(kConnectTime);
                self->link_->stream.async_connect(
                    found, [self](error_code connectError, const tcp::endpoint&) {
                        if (connectError) {
                            return self->done_(false, 502);
                        }
                        self->Send();
                    });
            });
    }

    /// A kept connection the host has meanwhile closed fails at once; the
    /// request then goes on a fresh one.
    bool RetryOnFresh(const error_code& ec) {
        if (!reused_ || (ec != http::error::end_of_stream && ec != asio::error::connection_reset &&
                         ec != asio::error::broken_pipe && ec != asio::error::eof)) {
            return false;
        }
        Connect();
        return true;
    }

    void Send() {
        link_->stream.expires_after(kTransferTime);
        http::async_write(link_->stream, request_,
                          [self = shared_from_this()](error_code ec, std::size_t) {
                              if (ec) {
                                  return self->RetryOnFresh(ec) ? void() : self->done_(false, 502);
                              }
                              self->ReadHead();
                          });
    }

    void ReadHead() {
        parser_.emplace();
        // Any size: the body streams through. (A limit of none compares
        // wrongly against a Content-Length in this version of Beast.)
        parser_->body_limit(std::numeric_limits<std::uint64_t>::max());
        parser_->skip(head_);
        link_->stream.expires_after(kTransferTime);
        http::async_read_header(link_->stream, link_->buffer, *parser_,
                                [self = shared_from_this()](error_code ec, std::size_t) {
                                    if (ec) {
                                        return self->RetryOnFresh(ec) ? void()
                                                                      : self->done_(false, 502);
                                    }
                                    self->SendHead();
                                });
    }

    void SendHead() {
        auto& response = parser_->get();
        upstreamKeepAlive_ = response.keep_alive();
        const unsigned status = response.result_int();
        bodyless_ = head_ || status < 200 || status == 204 || status == 304;
        RemoveHopByHop(response);
        response.version(clientVersion_);
        if (!bodyless_ && whole_ && MayHoldPanel(status, response.base())) {
            gathering_ = true; // seen whole, for the panel
            return Pump();
        }
        WriteHead();
    }

    void WriteHead() {
        auto& response = parser_->get();
        const bool bodyless = bodyless_;
        const boost::optional<std::uint64_t> length = parser_->content_length();
        if (!bodyless && length) {
            response.content_length(*length);
        } else if (!bodyless && clientVersion_ >= 11) {
            response.chunked(true);
        } else if (!bodyless) {
            clientKeepAlive_ = false; // the end of the body is the end of the connection
        }
        response.keep_alive(clientKeepAlive_);
        serializer_.emplace(response);
        client_.expires_after(kTransferTime);
        http::async_write_header(client_, *serializer_,
                                 [self = shared_from_this(), bodyless](error_code ec, std::size_t) {
                                     if (ec) {
                                         return self->Abort();
                                     }
                                     if (bodyless) {
                                         return self->Finish();
                                     }
                                     self->held_.empty() ? self->Pump() : self->WriteHeld();
                                 });
    }

    /// Gathers a page piece; streams on when it proves too large for one.
    void Gather() {
        auto& body = parser_->get().body();
        if (!pieces_.Add(std::string_view(piece_.data(), piece_.size() - body.size))) {
            gathering_ = false;
            held_ = pieces_.Take();
            return WriteHead();
        }
        if (!parser_->is_done()) {
            return Pump();
        }
        if (upstreamKeepAlive_) {
            slot_ = link_;
        } else {
            slot_.reset();
        }
        whole_(pieces_.Whole(parser_->get().base(), clientKeepAlive_));
    }

    /// Writes what was gathered before the page proved too large.
    void WriteHeld() {
        auto& body = parser_->get().body();
        body.data = held_.data();
        body.size = held_.size();
        body.more = true;
        client_.expires_after(kTransferTime);
        http::async_write(client_, *serializer_,
                          [self = shared_from_this()](error_code ec, std::size_t) {
                              if (ec && ec != http::error::need_buffer) {
                                  return self->Abort();
                              }
                              self->held_.clear();
                              self->parser_->is_done() ? self->EndBody() : self->Pump();
                          });
    }

    void EndBody() {
        auto& body = parser_->get().body();
        body.data = nullptr;
        body.size = 0;
        body.more = false;
        http::async_write(client_, *serializer_,
                          [self = shared_from_this()](error_code ec, std::size_t) {
                              if (ec && ec != http::error::need_buffer) {
                                  return self->Abort();
                              }
                              self->Finish();
                          });
    }

    void Pump() {
        auto& body = parser_->get().body();
        body.data = piece_.data();
        body.size = piece_.size();
        link_->stream.expires_after(kTransferTime);
        http::async_read(link_->stream, link_->buffer, *parser_,
                         [self = shared_from_this()](error_code ec, std::size_t) {
                             if (ec && ec != http::error::need_buffer) {
                                 return self->Abort();
                             }
                             self->Deliver();
                         });
    }

    void Deliver() {
        if (gathering_) {
            return Gather();
        }
        auto& body = parser_->get().body();
        body.size = piece_.size() - body.size;
        body.data = piece_.data();
        body.more = !parser_->is_done();
        client_.expires_after(kTransferTime);
        http::async_write(client_, *serializer_,
                          [self = shared_from_this()](error_code ec, std::size_t) {
                              if (ec && ec != http::error::need_buffer) {
                                  return self->Abort();
                              }
                              self->parser_->is_done() ? self->Finish() : self->Pump();
                          });
    }

    void Finish() {
        if (upstreamKeepAlive_ && parser_->is_done()) {
            slot_ = link_;
        } else {
            slot_.reset();
        }
        done_(clientKeepAlive_, 0);
    }

    void Abort() {
        slot_.reset();
        link_->stream.close();
        done_(false, 0);
    }

    std::shared_ptr<DirectLink>& slot_;
    beast::tcp_stream& client_;
    Request& request_;
    ProxyTarget target_;
    bool head_;
    unsigned clientVersion_;
    bool clientKeepAlive_;
    bool upstreamKeepAlive_ = false;
    bool reused_ = false;
    bool bodyless_ = false;
    bool gathering_ = false;
    PagePieces pieces_;
    std::string held_;
    tcp::resolver resolver_;
    Done done_;
    Whole whole_;
    std::shared_ptr<DirectLink> link_;
    std::optional<http::response_parser<http::buffer_body>> parser_;
    std::optional<http::response_serializer<http::buffer_body>> serializer_;
    std::array<char, kPiece> piece_{};
};

class Tunnel : public std::enable_shared_from_this<Tunnel> {
  public:
    Tunnel(beast::tcp_stream client, const Authority& target, std::string early,
           const TunnelRules& rules, ConnectionTicket ticket)
        : ticket_(std::move(ticket)), client_(client.release_socket()),
          upstream_(client_.get_executor()), resolver_(client_.get_executor()),
          idle_(client_.get_executor()), target_(target), early_(std::move(early)), rules_(rules) {}

    void Start() {
        resolver_.async_resolve(
            target_.host, std::to_string(target_.port),
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
                asio::async_connect(self->upstream_, allowed,
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
            const std::optional<IpBytes> listen = ParseIp(rules_.self.host);
            const bool reachesProxy = endpoint.port() == rules_.self.port &&
                                      (IsMachineLocal(address) || (listen && *listen == address));
            if (reachesProxy) {
                refusal = kLoop;
            } else if (!rules_.clientLoopback && IsMachineLocal(address)) {
                refusal = kLocalOnly;
            } else {
                allowed.push_back(endpoint);
            }
        }
        return refusal;
    }

    void Refuse(const char* answer = kRefused) {
        asio::async_write(client_, asio::buffer(answer, std::strlen(answer)),
                          [self = shared_from_this()](error_code, std::size_t) { self->Stop(); });
    }

    void Established() {
        static const std::string kEstablished = "HTTP/1.1 200 Connection established\r\n\r\n";
        asio::async_write(client_, asio::buffer(kEstablished),
                          [self = shared_from_this()](error_code ec, std::size_t) {
                              if (ec) {
                                  return self->Stop();
                              }
                              asio::async_write(
                                  self->upstream_, asio::buffer(self->early_),
                                  [self](error_code earlyError, std::size_t) {
                                      if (earlyError) {
                                          return self->Stop();
                                      }
                                      self->Pump(self->client_, self->upstream_, self->up_);
                                      self->Pump(self->upstream_, self->client_, self->down_);
                                  });
                          });
    }

    void Pump(tcp::socket& from, tcp::socket& to, std::array<char, kPiece>& piece) {
        from.async_read_some(asio::buffer(piece), [self = shared_from_this(), &from, &to,
                                                   &piece](error_code ec, std::size_t n) {
            self->lastActivity_ = std::chrono::steady_clock::now();
            if (ec) {
                // One side is done sending: pass that on, and end when both are.
                error_code ignored;
                to.shutdown(tcp::socket::shutdown_send, ignored);
                if (++self->ended_ == 2 || ec != asio::error::eof) {
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
        idle_.expires_after(std::chrono::minutes(1));
        idle_.async_wait([self = shared_from_this()](error_code ec) {
            if (ec || self->stopped_) {
                return;
            }
            if (std::chrono::steady_clock::now() - self->lastActivity_ > kTunnelIdle) {
                return self->Stop();
            }
            self->Watch();
        });
    }

    void Stop() {
        stopped_ = true;
        error_code ignored;
        client_.close(ignored);
        upstream_.close(ignored);
        idle_.cancel();
    }

    ConnectionTicket ticket_;
    tcp::socket client_;
    tcp::socket upstream_;
    tcp::resolver resolver_;
    asio::steady_timer idle_;
    Authority target_;
    std::string early_;
    TunnelRules rules_;
    std::array<char, kPiece> up_{};
    std::array<char, kPiece> down_{};
    std::chrono::steady_clock::time_point lastActivity_ = std::chrono::steady_clock::now();
    int ended_ = 0;
    bool stopped_ = false;
};

} // namespace

void RelayToDirectHost(std::shared_ptr<DirectLink>& link, beast::tcp_stream& client,
                       Request& request, const ProxyTarget& target, const std::string& via,
                       std::function<void(bool keepAlive, unsigned failure)> done,
                       std::function<void(std::shared_ptr<TextResponse> page)> whole) {
    std::make_shared<DirectRelay>(link, client, request, target, via, std::move(done),
                                  std::move(whole))
        ->Start();
}

void StartTunnel(beast::tcp_stream client, const Authority& target, std::string early,
                 const TunnelRules& rules, ConnectionTicket ticket) {
    std::make_shared<Tunnel>(std::move(client), target, std::move(early), rules, std::move(ticket))
        ->Start();
}

} // namespace proxy
