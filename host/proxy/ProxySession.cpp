// SPDX-License-Identifier: Apache-2.0
// One browser connection: requests read one after another (keep-alive),
// each routed and answered from the cache, through the internet library,
// by a --direct host or by the proxy's own pages. The same code serves a
// plain connection and the TLS connection inside an intercepted CONNECT.
#include "host/proxy/BackgroundTraffic.h"
#include "host/proxy/CachePages.h"
#include "host/proxy/CachedCopy.h"
#include "host/proxy/CopyView.h"
#include "host/proxy/ForwardedHeaders.h"
#include "host/proxy/PanelHook.h"
#include "host/proxy/ProxyContext.h"
#include "host/proxy/Responses.h"
#include "platform/cache/MissedUrls.h"
#include "platform/inet/WinInet.h"
#include "platform/kernel/LastError.h"
#include "platform/text/Utf8.h"

#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/http/buffer_body.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/serializer.hpp>
#include <boost/beast/http/write.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>

#include <sys/sendfile.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <optional>
#include <type_traits>

namespace proxy {

namespace {

using error_code = boost::system::error_code;
using TlsStream = beast::ssl_stream<beast::tcp_stream>;

constexpr std::size_t kHeaderLimit = std::size_t{64} * 1024;
constexpr std::size_t kMaxFields = 256;
constexpr std::uint64_t kBodyLimit = std::uint64_t{16} * 1024 * 1024;
constexpr std::size_t kPiece = std::size_t{64} * 1024;
// The most one sendfile call is asked to send, and the calls made before
// the other connections of the loop get their turn: a large copy to a fast
// client does not hold the loop's thread for long.
constexpr std::uint64_t kSendFilePiece = std::uint64_t{1} << 20;
constexpr int kSendFileCalls = 4;
// A kept page or style sheet up to this size is shown in the view with its
// references rewritten; a larger one is shown as it is.
constexpr std::uint64_t kViewLimit = std::uint64_t{16} * 1024 * 1024;
constexpr auto kIdleTime = std::chrono::seconds(120);
constexpr auto kWriteTime = std::chrono::seconds(60);

using StreamedSerializer = http::response_serializer<http::buffer_body>;

/// The status for a request that could not be read, or 0 to just close.
unsigned StatusForReadError(const error_code& ec, const beast::flat_buffer& buffer) {
    if (ec == http::error::header_limit) {
        // Nothing of the request line ended yet: that line alone is too long.
        const std::string_view seen(static_cast<const char*>(buffer.data().data()),
                                    buffer.data().size());
        return seen.find('\n') == std::string_view::npos ? 414 : 431;
    }
    if (ec == http::error::body_limit) {
        return 413;
    }
    if (ec.category() == http::make_error_code(http::error::bad_target).category() &&
        ec != http::error::end_of_stream && ec != http::error::partial_message) {
        return 400;
    }
    return 0;
}

template <class Stream> class Session : public std::enable_shared_from_this<Session<Stream>> {
  public:
    Session(std::shared_ptr<ProxyContext> context, Stream stream,
            std::shared_ptr<asio::ssl::context> tls, std::optional<Authority> tunnel)
        : m_context(std::move(context)), m_tls(std::move(tls)), m_stream(std::move(stream)),
          m_tunnel(std::move(tunnel)) {}

    ~Session() {
        if (m_exchange) {
            m_exchange->Cancel();
        }
    }

    void Start() { ReadRequest(); }

    /// Counts the connection for as long as this session (or what takes
    /// its socket over) lives.
    void Hold(ConnectionTicket ticket) { m_ticket = std::move(ticket); }

    /// For the TLS side of an intercepted CONNECT: the handshake, then the
    /// requests. `early` holds bytes read after the CONNECT request.
    void Handshake(beast::flat_buffer early) {
        m_buffer = std::move(early);
        Lowest().expires_after(kWriteTime);
        m_stream.async_handshake(
            asio::ssl::stream_base::server, m_buffer.data(),
            [self = this->shared_from_this()](error_code ec, std::size_t used) {
                if (ec) {
                    return self->Close();
                }
                self->m_buffer.consume(used);
                self->ReadRequest();
            });
    }

  private:
    static constexpr bool kPlain = std::is_same_v<Stream, beast::tcp_stream>;

    beast::tcp_stream& Lowest() { return beast::get_lowest_layer(m_stream); }
    Request& Req() { return m_parser->get(); }

    void ReadRequest() {
        m_parser.emplace();
        m_parser->header_limit(kHeaderLimit);
        m_parser->body_limit(kBodyLimit);
        Lowest().expires_after(kIdleTime);
        http::async_read_header(
            m_stream, m_buffer, *m_parser,
            [self = this->shared_from_this()](error_code ec, std::size_t) { self->OnHeader(ec); });
    }

    void OnHeader(error_code ec) {
        if (ec) {
            const unsigned status = StatusForReadError(ec, m_buffer);
            if (status == 0) {
                return Close();
            }
            return SendError(status,
                             status == 414   ? "The request line is too long."
                             : status == 431 ? "The request headers are too large."
                                             : "The request could not be read.",
                             true);
        }
        if (static_cast<std::size_t>(std::distance(Req().begin(), Req().end())) > kMaxFields) {
            return SendError(431, "The request has too many header lines.", true);
        }
        m_head = Req().method() == http::verb::head;
        m_keepAlive = Req().keep_alive();
        Dispatch(RouteRequest(Facts(), m_context->CurrentPolicy()));
    }

    RequestLine Facts() {
        RequestLine line;
        line.method = Req().method_string();
        line.target = Req().target();
        if (const auto host = Req().find(http::field::host); host != Req().end()) {
            // Two Host lines name no host: routing refuses the empty name
            // rather than pick one, as another server on the way may pick
            // the other.
            line.host = Req().count(http::field::host) == 1 ? host->value() : std::string_view();
        }
        m_via.clear();
        for (const auto& field : Req()) {
            if (field.name() == http::field::via) {
                m_via.append(field.value()).append(",");
            }
        }
        line.via = m_via;
        line.tunnel = m_tunnel ? &*m_tunnel : nullptr;
        line.clientLoopback = ClientLoopback();
        return line;
    }

    /// How the browser reached the proxy: its Host header, which routing
    /// has checked names the proxy, or the proxy's own address.
    std::string OwnAuthority() {
        if (const auto host = Req().find(http::field::host); host != Req().end()) {
            return std::string(host->value());
        }
        return m_context->SelfOrigin().substr(7);
    }

    /// The peer of a connection never changes: asked once.
    bool ClientLoopback() {
        if (!m_loopback) {
            error_code ec;
            const tcp::endpoint peer = Lowest().socket().remote_endpoint(ec);
            if (ec) {
                return false;
            }
            m_loopback = IsLoopback(AddressBytes(peer.address()));
        }
        return *m_loopback;
    }

    bool HasBody() { return m_parser->chunked() || m_parser->content_length().value_or(0) > 0; }

    void Dispatch(Route route) {
        m_target = std::move(route.target);
        // Only this machine's user gets panels: the panel answers no one else.
        m_passing = (route.action == Action::FromCache || route.action == Action::Forward ||
                     route.action == Action::Direct) &&
                    OpensAsDocument(Req()) && ClientLoopback();
        if (route.action != Action::Direct && route.action != Action::Forward &&
            route.action != Action::Tunnel && route.action != Action::Intercept && HasBody()) {
            // The body is not read: the connection cannot carry another request.
            m_keepAlive = false;
        }
        switch (route.action) {
        case Action::Refuse:
            return SendError(route.status, route.message, false);
        case Action::OwnPage:
            return ServeOwnPage();
        case Action::FromCache:
            return ServeFromCache();
        case Action::Forward:
            return ReadBody([this] { Forward(); });
        case Action::Direct:
        case Action::Tunnel:
        case Action::Intercept:
            if constexpr (kPlain) {
                return route.action == Action::Direct ? ReadBody([this] { RelayDirect(); })
                                                      : Connect(route.action);
            }
            break;
        }
        SendError(400, "This request cannot be made inside an intercepted connection.", true);
    }

    /// Reads the request body, if any, then goes on with `then`. A browser
    /// that waits for "100 Continue" is told to go ahead first.
    void ReadBody(std::function<void()> then) {
        if (!HasBody()) {
            return then();
        }
        const auto expect = Req().find(http::field::expect);
        if (expect != Req().end() && NameEquals(expect->value(), "100-continue")) {
            static const std::string kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
            Req().erase(http::field::expect);
            asio::async_write(m_stream, asio::buffer(kContinue),
                              [self = this->shared_from_this(),
                               then = std::move(then)](error_code ec, std::size_t) mutable {
                                  ec ? self->Close() : self->ReadBody(std::move(then));
                              });
            return;
        }
        Lowest().expires_after(kIdleTime);
        http::async_read(
            m_stream, m_buffer, *m_parser,
            [self = this->shared_from_this(), then = std::move(then)](error_code ec, std::size_t) {
                if (!ec) {
                    return then();
                }
                const unsigned status = StatusForReadError(ec, self->m_buffer);
                status == 0
                    ? self->Close()
                    : self->SendError(status, "The request body is larger than 16 MiB.", true);
            });
    }

    // The proxy's own pages.

    void ServeOwnPage() {
        if (PanelHost::Handles(m_target.path)) {
            return ServePanel();
        }
        if (!m_head && Req().method() != http::verb::get) {
            return SendError(405, "The proxy's own pages answer GET and HEAD only.", false);
        }
        const OwnPageContext own{OwnAuthority(), m_context->CopyKey()};
        OwnPageAnswer answer = AnswerOwnPage(m_target.path, own);
        if (!answer.copyUrl.empty()) {
            if (std::unique_ptr<CachedCopy> copy = CachedCopy::Open(answer.copyUrl)) {
                m_serving = {true, answer.copyUrl, false, own.copyKey};
                return ServeCopy(std::move(copy));
            }
            return SendError(404, "The cache holds no copy of " + answer.copyUrl + ".", false);
        }
        if (answer.status != 200) {
            return SendError(answer.status, answer.message, false);
        }
        SendText(200, answer.page.contentType, std::move(answer.page.body));
    }

    void ServePanel() {
        PanelRequest request;
        request.method = Req().method_string();
        request.target = m_target.path;
        request.ownOrigin = "http://" + OwnAuthority();
        request.clientLoopback = ClientLoopback();
        if (const auto origin = Req().find(http::field::origin); origin != Req().end()) {
            request.origin = origin->value();
        }
        if (const auto key = Req().find("X-Dravik-Key"); key != Req().end()) {
            request.key = key->value();
        }
        PanelHost::Instance().Answer(
            request, [self = this->shared_from_this(),
                      executor = Lowest().get_executor()](PanelReply reply) {
                asio::post(executor, [self, reply = std::move(reply)] {
                    self->Send(
                        PanelAnswer(reply, self->Req().version(), self->m_head, self->m_keepAlive));
                });
            });
    }

    // Answers from the cache.

    void ServeFromCache() {
        const std::string url = CacheUrl(m_target);
        if (std::unique_ptr<CachedCopy> copy = CachedCopy::Open(url)) {
            return ServeCopy(std::move(copy));
        }
        // Only this machine's user notes misses: `fetch --missed` fetches
        // them later as that user.
        if (std::string purposes;
            ClientLoopback() && !IsBackgroundTraffic(SignsOf(url, Req(), purposes))) {
            // A miss that cannot be noted costs only the later fetch of it;
            // the answer below is the same either way.
            static_cast<void>(urlcache::RecordMissedUrl(Utf8ToUtf16(url)));
        }
        SendText(504, "text/html; charset=utf-8", NotKeptPage(url, m_context->SelfOrigin()));
    }

    void ServeCopy(std::unique_ptr<CachedCopy> copy) {
        if (copy->ThisMachineOnly() && !ClientLoopback()) {
            return SendError(403,
                             "The kept copy of " +
                                 (m_serving.view ? m_serving.url : CacheUrl(m_target)) +
                                 " was kept for the user of the proxy's machine only.",
                             false);
        }
        if (m_tunnel && copy->Unverified() && !m_context->TrustsUnverified(m_tunnel->host)) {
            // Served inside an intercepted connection, the copy would show
            // as authenticated by the local authority.
            return SendError(502,
                             "The kept copy of " + CacheUrl(m_target) +
                                 " was fetched without verifying the certificate of " +
                                 m_tunnel->host +
                                 ", so it is not served as a secure page. Run the proxy with "
                                 "--trust-unverified " +
                                 m_tunnel->host + " if you trust that host.",
                             false);
        }
        m_copy = std::move(copy);
        if (m_serving.view && ViewRewrites(*m_copy) && m_copy->Size() <= kViewLimit) {
            return SendWholeCopy();
        }
        if (m_passing && !m_serving.view && !m_head && IsPlainHtml(*m_copy) &&
            m_copy->Size() <= kPanelPageLimit) {
            return SendWholeCopy(); // seen whole, so that the panel can go in
        }
        if (m_copy->Stored()->InMemory()) {
            // The answer points into the copy, which the write holds.
            auto answer = KeptBytesAnswer(*m_copy, m_serving, Req().version(), m_head, m_keepAlive);
            if (!m_serving.view) {
                HeadOfPage(answer->base());
            }
            return Send(std::move(answer), m_copy->Stored());
        }
        m_streamed = std::make_unique<StreamedResponse>(http::status::ok, Req().version());
        SetCopyFields(*m_copy, *m_streamed, m_serving);
        m_streamed->content_length(m_copy->Size());
        if (!m_serving.view) {
            HeadOfPage(m_streamed->base());
        }
        m_streamed->keep_alive(m_keepAlive);
        if constexpr (kPlain) {
            // The kernel copies the file to the socket: no byte passes here.
            m_fileOffset = 0;
            return StartStreamed(m_head, [this] { SendFile(); });
        }
        StartStreamed(m_head, [this] { PumpCopy(); });
    }

    /// Sends the rest of the copy's file until the socket would block, then
    /// waits for room (for kWriteTime at most).
    void SendFile() {
        tcp::socket& socket = Lowest().socket();
        error_code ec;
        socket.native_non_blocking(true, ec);
        const std::uint64_t size = m_copy->Size();
        for (int calls = 0; !ec && m_fileOffset < size; ++calls) {
            if (calls == kSendFileCalls) {
                // Other connections of this loop get their turn first.
                return asio::post(Lowest().get_executor(),
                                  [self = this->shared_from_this()] { self->SendFile(); });
            }
            auto offset = static_cast<off_t>(m_fileOffset);
            const ssize_t sent =
                ::sendfile(socket.native_handle(), m_copy->Stored()->Descriptor(), &offset,
                           static_cast<std::size_t>(
                               std::min<std::uint64_t>(size - m_fileOffset, kSendFilePiece)));
            if (sent > 0) {
                m_fileOffset += static_cast<std::uint64_t>(sent);
            } else if (sent < 0 && errno == EAGAIN) {
                return WaitToSend();
            } else if (sent == 0 || errno != EINTR) {
                return Close(); // the length is promised: only closing tells the browser
            }
        }
        ec ? Close() : EndResponse();
    }

    void WaitToSend() {
        if (!m_sendTimer) {
            m_sendTimer.emplace(Lowest().get_executor());
        }
        m_sendTimer->expires_after(kWriteTime);
        m_sendTimer->async_wait([self = this->shared_from_this()](error_code ec) {
            if (!ec) {
                self->Close(); // the browser took nothing for too long
            }
        });
        Lowest().socket().async_wait(tcp::socket::wait_write,
                                     [self = this->shared_from_this()](error_code ec) {
                                         self->m_sendTimer->cancel();
                                         ec ? self->Close() : self->SendFile();
                                     });
    }

    /// A page the view rewrites goes out with its head in one write.
    void SendWholeCopy() {
        auto held = std::make_shared<HeldPageBytes>();
        if (!held->Grow(m_copy->Size())) {
            m_copy.reset();
            return SendError(503,
                             "The proxy holds as many whole pages as it may at once; try again "
                             "in a moment.",
                             false);
        }
        std::shared_ptr<TextResponse> answer =
            WholeCopyAnswer(*m_copy, m_serving, Req().version(), m_head, m_keepAlive);
        m_copy.reset();
        if (!answer) {
            return SendError(500, "The cached copy could not be read.", false);
        }
        Send(std::move(answer), std::move(held));
    }

    void PumpCopy() {
        m_piece.resize(kPiece);
        std::size_t got = 0;
        if (!m_copy->Read(m_piece.data(), m_piece.size(), got)) {
            return Close(); // the length is promised: only closing tells the browser
        }
        m_piece.resize(got);
        WritePiece(got == 0, [this] { PumpCopy(); });
    }

    // Forwarding through the internet library.

    void Forward() {
        const bool store = !m_context->Options().noStore && Req().method() == http::verb::get;
        UpstreamRequest request{std::string(Req().method_string()),
                                m_target,
                                UpstreamHeaderBlock(Req(), m_target, store, m_context->ViaToken()),
                                store,
                                !m_context->Options().allow.empty(),
                                ClientLoopback(),
                                std::move(Req().body())};
        // The exchange keeps the session alive until the forward lets go of
        // it; the session drops the exchange when the response is done.
        m_exchange = std::make_shared<UpstreamExchange>(
            [self = this->shared_from_this(), executor = Lowest().get_executor()] {
                asio::post(executor, [self] { self->OnUpstream(); });
            });
        if (!m_context->Upstream().Submit(std::move(request), m_exchange)) {
            m_exchange.reset();
            SendError(503, "Too many requests are under way to the network; try again.", false);
        }
    }

    void OnUpstream() {
        if (!m_exchange) {
            return;
        }
        if (!m_streamed) {
            if (std::optional<ResponseHead> head = m_exchange->TakeHead()) {
                return SendUpstreamHead(*head);
            }
            DWORD error = 0;
            if (m_exchange->FailedBeforeHead(error)) {
                m_exchange.reset();
                UpstreamFailed(error);
            }
            return;
        }
        if (m_waiting) {
            m_waiting = false;
            PumpUpstream();
        }
    }

    void SendUpstreamHead(const ResponseHead& head) {
        m_streamed = std::make_unique<StreamedResponse>(http::status::ok, Req().version());
        const bool bodyless = PrepareForwardedHead(head, *m_streamed, m_head, m_keepAlive);
        HeadOfPage(m_streamed->base());
        StartStreamed(bodyless, [this] { PumpUpstream(); });
    }

    void PumpUpstream() {
        bool finished = false;
        DWORD error = 0;
        m_exchange->TakeBody(m_piece, finished, error);
        if (!m_piece.empty() || (finished && error == 0)) {
            return WritePiece(m_piece.empty(), [this] { PumpUpstream(); });
        }
        if (finished) {
            return Close(); // cut short upstream: the browser must see it cut short too
        }
        m_waiting = true;
    }

    void UpstreamFailed(DWORD error) {
        const ForwardFailure failure =
            DescribeForwardFailure(error, HostKey(m_target.authority, m_target.secure));
        const bool readOnly = m_head || Req().method() == http::verb::get;
        if (failure.offline) {
            return readOnly ? ServeFromCache()
                            : SendError(405, "The internet library went offline.", false);
        }
        if (failure.tryCache && readOnly) {
            if (std::unique_ptr<CachedCopy> copy = CachedCopy::Open(CacheUrl(m_target))) {
                // Better than an error page for someone who just went offline.
                m_serving.stale = true;
                return ServeCopy(std::move(copy));
            }
        }
        SendError(failure.status, failure.message, false);
    }

    // Streaming a response piece by piece.

    void StartStreamed(bool headOnly, std::function<void()> next) {
        if (m_passing && !m_serving.view && !headOnly && !m_pieces &&
            MayHoldPanel(m_streamed->result_int(), m_streamed->base())) {
            m_pieces.emplace(); // seen whole, for the panel
            return next();
        }
        m_serializer = std::make_unique<StreamedSerializer>(*m_streamed);
        Lowest().expires_after(kWriteTime);
        http::async_write_header(m_stream, *m_serializer,
                                 [self = this->shared_from_this(), headOnly,
                                  next = std::move(next)](error_code ec, std::size_t) {
                                     if (ec) {
                                         return self->Close();
                                     }
                                     if (headOnly) {
                                         return self->EndResponse();
                                     }
                                     next();
                                 });
    }

    /// Writes `m_piece` (or, with `last`, the end of the body) and calls
    /// `next` unless it was the last.
    void WritePiece(bool last, std::function<void()> next) {
        if (m_pieces && !m_serializer) {
            return GatherPiece(last, std::move(next));
        }
        auto& body = m_streamed->body();
        body.data = last ? nullptr : m_piece.data();
        body.size = last ? 0 : m_piece.size();
        body.more = !last;
        Lowest().expires_after(kWriteTime);
        http::async_write(m_stream, *m_serializer,
                          [self = this->shared_from_this(), last,
                           next = std::move(next)](error_code ec, std::size_t) {
                              if (ec && ec != http::error::need_buffer) {
                                  return self->Close();
                              }
                              if (last) {
                                  return self->EndResponse();
                              }
                              next();
                          });
    }

    void GatherPiece(bool last, std::function<void()> next) {
        if (last) {
            std::shared_ptr<TextResponse> whole = m_pieces->Whole(m_streamed->base(), m_keepAlive);
            return Send(std::move(whole));
        }
        if (m_pieces->Add(m_piece)) {
            return next();
        }
        // Too large to be a host page: it streams on as it came.
        m_piece = m_pieces->Take();
        StartStreamed(false, [this, next = std::move(next)]() mutable {
            WritePiece(false, std::move(next));
        });
    }

    /// A page's head as it goes out unchanged: it varies by destination, and
    /// answering a HEAD it states no length when the page may get the panel
    /// (only the page, seen whole, says what length GET would send).
    void HeadOfPage(http::response_header<>& head) {
        VaryByDestination(head);
        if (m_head && m_passing && MayHoldPanel(head.result_int(), head)) {
            head.erase(http::field::content_length);
        }
    }

    // Simple responses.

    void SendText(unsigned status, const std::string& type, std::string body) {
        Send(TextAnswer(status, Req().version(), type, std::move(body), m_head, m_keepAlive));
    }

    /// Writes `response`; `held` (the bytes its body points at, if any)
    /// lives until the write is done. A page of a site that holds the
    /// control's object gets the panel in its place first.
    template <class Response>
    void Send(std::shared_ptr<Response> response, std::shared_ptr<const void> held = nullptr) {
        if constexpr (std::is_same_v<Response, TextResponse>) {
            if (m_passing && !m_serving.view) {
                PutPanelInResponse(*response, m_target, m_context->SelfOrigin());
            }
        }
        Lowest().expires_after(kWriteTime);
        Response& message = *response;
        if (!message.chunked()) {
            // The head written out by hand and the body beside it leave in
            // one write, without the serializer's layers of buffer views.
            auto wire = std::make_shared<const std::string>(WireHead(message.base()));
            const std::array<asio::const_buffer, 2> buffers{
                asio::buffer(*wire), asio::buffer(message.body().data(), message.body().size())};
            return asio::async_write(m_stream, buffers,
                                     [self = this->shared_from_this(), wire = std::move(wire),
                                      response = std::move(response),
                                      held = std::move(held)](error_code ec, std::size_t) {
                                         ec ? self->Close() : self->EndResponse();
                                     });
        }
        http::async_write(m_stream, message,
                          [self = this->shared_from_this(), response = std::move(response),
                           held = std::move(held)](error_code ec, std::size_t) {
                              ec ? self->Close() : self->EndResponse();
                          });
    }

    void SendError(unsigned status, const std::string& message, bool close) {
        if (close || !m_parser || !m_parser->is_header_done()) {
            m_keepAlive = false;
        }
        if (!m_parser || !m_parser->is_header_done()) {
            m_parser.emplace(); // answer as HTTP/1.1 to a request that was not read
            m_head = false;
        }
        const std::string reason(http::obsolete_reason(static_cast<http::status>(status)));
        SendText(status, "text/html; charset=utf-8", ErrorPage(status, reason, message));
    }

    void EndResponse() {
        m_serving = {};
        m_passing = false;
        m_pieces.reset();
        m_copy.reset();
        m_exchange.reset();
        m_serializer.reset();
        m_streamed.reset();
        m_waiting = false;
        if (m_keepAlive) {
            return ReadRequest();
        }
        Close();
    }

    void Close() {
        if (m_exchange) {
            m_exchange->Cancel();
            m_exchange.reset();
        }
        error_code ignored;
        Lowest().socket().shutdown(tcp::socket::shutdown_both, ignored);
        Lowest().close();
    }

    // Plain connections only: --direct hosts and CONNECT.

    void RelayDirect();
    void Connect(Action action);
    void Intercept();

    std::shared_ptr<ProxyContext> m_context;
    std::shared_ptr<asio::ssl::context> m_tls; // before m_stream, which uses it
    ConnectionTicket m_ticket;                 // let go once m_stream is closed
    Stream m_stream;
    std::optional<Authority> m_tunnel;
    beast::flat_buffer m_buffer;
    std::optional<http::request_parser<http::string_body>> m_parser;
    std::string m_via;
    ProxyTarget m_target;
    bool m_head = false;
    bool m_keepAlive = true;
    std::optional<bool> m_loopback;
    std::uint64_t m_fileOffset = 0;                // of a copy sent from its file
    std::optional<asio::steady_timer> m_sendTimer; // bounds a wait for room to send it

    std::unique_ptr<CachedCopy> m_copy;
    CopyServing m_serving;
    std::shared_ptr<UpstreamExchange> m_exchange;
    std::unique_ptr<StreamedResponse> m_streamed;
    std::unique_ptr<StreamedSerializer> m_serializer;
    std::string m_piece;
    bool m_waiting = false;
    bool m_passing = false;             // a page of a site, which may get the panel
    std::optional<PagePieces> m_pieces; // its body, gathered to be seen whole
    std::shared_ptr<DirectLink> m_direct;
};

template <> void Session<beast::tcp_stream>::RelayDirect() {
    RelayToDirectHost(
        m_direct, m_stream, Req(), m_target, m_context->ViaToken(), ClientLoopback(),
        [self = shared_from_this()](bool keepAlive, unsigned failure) {
            const std::string host = HostKey(self->m_target.authority, false);
            if (failure == 403) {
                return self->SendError(
                    403, DescribeForwardFailure(ERROR_ACCESS_DENIED, host).message, false);
            }
            if (failure != 0) {
                return self->SendError(failure, "The --direct host " + host + " did not answer.",
                                       false);
            }
            self->m_keepAlive = self->m_keepAlive && keepAlive;
            self->EndResponse();
        },
        m_passing ? std::function<void(std::shared_ptr<TextResponse>)>(
                        [self = shared_from_this()](std::shared_ptr<TextResponse> page) {
                            self->m_keepAlive = self->m_keepAlive && page->keep_alive();
                            page->keep_alive(self->m_keepAlive);
                            self->Send(std::move(page));
                        })
                  : nullptr);
}

template <> void Session<beast::tcp_stream>::Intercept() {
    std::shared_ptr<asio::ssl::context> tls = m_context->TlsFor(m_target.authority.host);
    if (!tls) {
        return SendError(502, "No certificate can be made for this host.", true);
    }
    static const std::string kEstablished = "HTTP/1.1 200 Connection established\r\n\r\n";
    Lowest().expires_after(kWriteTime);
    asio::async_write(m_stream, asio::buffer(kEstablished),
                      [self = shared_from_this(), tls](error_code ec, std::size_t) {
                          if (ec) {
                              return self->Close();
                          }
                          auto inner = std::make_shared<Session<TlsStream>>(
                              self->m_context, TlsStream(std::move(self->m_stream), *tls), tls,
                              self->m_target.authority);
                          inner->Hold(self->m_ticket);
                          inner->Handshake(std::move(self->m_buffer));
                      });
}

template <> void Session<beast::tcp_stream>::Connect(Action action) {
    if (action == Action::Intercept) {
        return Intercept();
    }
    if (!m_ticket->BecomeTunnel()) {
        return SendError(503, "Too many tunnels from this address at once.", true);
    }
    const auto early = m_buffer.data();
    std::string bytes(static_cast<const char*>(early.data()), early.size());
    TunnelRules rules;
    rules.clientLoopback = ClientLoopback();
    rules.self = m_context->CurrentPolicy().self;
    StartTunnel(std::move(m_stream), m_target.authority, std::move(bytes), rules, m_ticket);
}

} // namespace

void ServeConnection(std::shared_ptr<ProxyContext> context, tcp::socket socket,
                     ConnectionTicket ticket) {
    auto session = std::make_shared<Session<beast::tcp_stream>>(
        std::move(context), beast::tcp_stream(std::move(socket)), nullptr, std::nullopt);
    session->Hold(std::move(ticket));
    session->Start();
}

} // namespace proxy
