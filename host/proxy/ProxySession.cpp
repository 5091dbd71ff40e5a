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
        : context_(std::move(context)), tls_(std::move(tls)), stream_(std::move(stream)),
          tunnel_(std::move(tunnel)) {}

    ~Session() {
        if (exchange_) {
            exchange_->Cancel();
        }
    }

    void Start() { ReadRequest(); }

    /// Counts the connection for as long as this session (or what takes
    /// its socket over) lives.
    void Hold(ConnectionTicket ticket) { ticket_ = std::move(ticket); }

    /// For the TLS side of an intercepted CONNECT: the handshake, then the
    /// requests. `early` holds bytes read after the CONNECT request.
    void Handshake(beast::flat_buffer early) {
        buffer_ = std::move(early);
        Lowest().expires_after(kWriteTime);
        stream_.async_handshake(asio::ssl::stream_base::server, buffer_.data(),
                                [self = this->shared_from_this()](error_code ec, std::size_t used) {
                                    if (ec) {
                                        return self->Close();
                                    }
                                    self->buffer_.consume(used);
                                    self->ReadRequest();
                                });
    }

  private:
    static constexpr bool kPlain = std::is_same_v<Stream, beast::tcp_stream>;

    beast::tcp_stream& Lowest() { return beast::get_lowest_layer(stream_); }
    Request& Req() { return parser_->get(); }

    void ReadRequest() {
        parser_.emplace();
        parser_->header_limit(kHeaderLimit);
        parser_->body_limit(kBodyLimit);
        Lowest().expires_after(kIdleTime);
        http::async_read_header(
            stream_, buffer_, *parser_,
            [self = this->shared_from_this()](error_code ec, std::size_t) { self->OnHeader(ec); });
    }

    void OnHeader(error_code ec) {
        if (ec) {
            const unsigned status = StatusForReadError(ec, buffer_);
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
        head_ = Req().method() == http::verb::head;
        keepAlive_ = Req().keep_alive();
        Dispatch(RouteRequest(Facts(), context_->CurrentPolicy()));
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
        via_.clear();
        for (const auto& field : Req()) {
            if (field.name() == http::field::via) {
                via_.append(field.value()).append(",");
            }
        }
        line.via = via_;
        line.tunnel = tunnel_ ? &*tunnel_ : nullptr;
        line.clientLoopback = ClientLoopback();
        return line;
    }

    /// How the browser reached the proxy: its Host header, which routing
    /// has checked names the proxy, or the proxy's own address.
    std::string OwnAuthority() {
        if (const auto host = Req().find(http::field::host); host != Req().end()) {
            return std::string(host->value());
        }
        return context_->SelfOrigin().substr(7);
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

    bool HasBody() { return parser_->chunked() || parser_->content_length().value_or(0) > 0; }

    void Dispatch(Route route) {
        target_ = std::move(route.target);
        passing_ = route.action == Action::FromCache || route.action == Action::Forward ||
                   route.action == Action::Direct;
        if (route.action != Action::Direct && route.action != Action::Forward &&
            route.action != Action::Tunnel && route.action != Action::Intercept && HasBody()) {
            // The body is not read: the connection cannot carry another request.
            keepAlive_ = false;
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
            asio::async_write(stream_, asio::buffer(kContinue),
                              [self = this->shared_from_this(),
                               then = std::move(then)](error_code ec, std::size_t) mutable {
                                  ec ? self->Close() : self->ReadBody(std::move(then));
                              });
            return;
        }
        Lowest().expires_after(kIdleTime);
        http::async_read(
            stream_, buffer_, *parser_,
            [self = this->shared_from_this(), then = std::move(then)](error_code ec, std::size_t) {
                if (!ec) {
                    return then();
                }
                const unsigned status = StatusForReadError(ec, self->buffer_);
                status == 0
                    ? self->Close()
                    : self->SendError(status, "The request body is larger than 16 MiB.", true);
            });
    }

    // The proxy's own pages.

    void ServeOwnPage() {
        if (PanelHost::Handles(target_.path)) {
            return ServePanel();
        }
        if (!head_ && Req().method() != http::verb::get) {
            return SendError(405, "The proxy's own pages answer GET and HEAD only.", false);
        }
        const OwnPageContext own{OwnAuthority(), context_->CopyKey()};
        OwnPageAnswer answer = AnswerOwnPage(target_.path, own);
        if (!answer.copyUrl.empty()) {
            if (std::unique_ptr<CachedCopy> copy = CachedCopy::Open(answer.copyUrl)) {
                serving_ = {true, answer.copyUrl, false, CopyViewPrefix(own.copyKey)};
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
        request.target = target_.path;
        request.ownOrigin = "http://" + OwnAuthority();
        request.clientLoopback = ClientLoopback();
        if (const auto origin = Req().find(http::field::origin); origin != Req().end()) {
            request.origin = origin->value();
        }
        if (const auto key = Req().find("X-Dravik-Key"); key != Req().end()) {
            request.key = key->value();
        }
        PanelHost::Instance().Answer(request,
                                     [self = this->shared_from_this(),
                                      executor = Lowest().get_executor()](PanelReply reply) {
                                         asio::post(executor, [self, reply = std::move(reply)] {
                                             self->Send(PanelAnswer(reply, self->Req().version(),
                                                                    self->head_, self->keepAlive_));
                                         });
                                     });
    }

    // Answers from the cache.

    void ServeFromCache() {
        const std::string url = CacheUrl(target_);
        if (std::unique_ptr<CachedCopy> copy = CachedCopy::Open(url)) {
            return ServeCopy(std::move(copy));
        }
        if (std::string purposes; !IsBackgroundTraffic(SignsOf(url, Req(), purposes))) {
            urlcache::RecordMissedUrl(Utf8ToUtf16(url));
        }
        SendText(504, "text/html; charset=utf-8", NotKeptPage(url, context_->SelfOrigin()));
    }

    void ServeCopy(std::unique_ptr<CachedCopy> copy) {
        if (copy->ThisMachineOnly() && !ClientLoopback()) {
            return SendError(403,
                             "The kept copy of " +
                                 (serving_.view ? serving_.url : CacheUrl(target_)) +
                                 " was kept for the user of the proxy's machine only.",
                             false);
        }
        if (tunnel_ && copy->Unverified() && !context_->TrustsUnverified(tunnel_->host)) {
            // Served inside an intercepted connection, the copy would show
            // as authenticated by the local authority.
            return SendError(502,
                             "The kept copy of " + CacheUrl(target_) +
                                 " was fetched without verifying the certificate of " +
                                 tunnel_->host +
                                 ", so it is not served as a secure page. Run the proxy with "
                                 "--trust-unverified " +
                                 tunnel_->host + " if you trust that host.",
                             false);
        }
        copy_ = std::move(copy);
        if (serving_.view && ViewRewrites(*copy_) && copy_->Size() <= kViewLimit) {
            return SendWholeCopy();
        }
        if (passing_ && !serving_.view && !head_ && IsPlainHtml(*copy_) &&
            copy_->Size() <= kPanelPageLimit) {
            return SendWholeCopy(); // seen whole, so that the panel can go in
        }
        if (copy_->Stored()->InMemory()) {
            // The answer points into the copy, which the write holds.
            return Send(KeptBytesAnswer(*copy_, serving_, Req().version(), head_, keepAlive_),
                        copy_->Stored());
        }
        streamed_ = std::make_unique<StreamedResponse>(http::status::ok, Req().version());
        SetCopyFields(*copy_, *streamed_, serving_);
        streamed_->content_length(copy_->Size());
        streamed_->keep_alive(keepAlive_);
        if constexpr (kPlain) {
            // The kernel copies the file to the socket: no byte passes here.
            m_fileOffset = 0;
            return StartStreamed(head_, [this] { SendFile(); });
        }
        StartStreamed(head_, [this] { PumpCopy(); });
    }

    /// Sends the rest of the copy's file until the socket would block, then
    /// waits for room (for kWriteTime at most).
    void SendFile() {
        tcp::socket& socket = Lowest().socket();
        error_code ec;
        socket.native_non_blocking(true, ec);
        const std::uint64_t size = copy_->Size();
        for (int calls = 0; !ec && m_fileOffset < size; ++calls) {
            if (calls == kSendFileCalls) {
                // Other connections of this loop get their turn first.
                return asio::post(Lowest().get_executor(),
                                  [self = this->shared_from_this()] { self->SendFile(); });
            }
            auto offset = static_cast<off_t>(m_fileOffset);
            const ssize_t sent =
                ::sendfile(socket.native_handle(), copy_->Stored()->Descriptor(), &offset,
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
        std::shared_ptr<TextResponse> answer =
            WholeCopyAnswer(*copy_, serving_, Req().version(), head_, keepAlive_);
        copy_.reset();
        if (!answer) {
            return SendError(500, "The cached copy could not be read.", false);
        }
        Send(std::move(answer));
    }

    void PumpCopy() {
        piece_.resize(kPiece);
        std::size_t got = 0;
        if (!copy_->Read(piece_.data(), piece_.size(), got)) {
            return Close(); // the length is promised: only closing tells the browser
        }
        piece_.resize(got);
        WritePiece(got == 0, [this] { PumpCopy(); });
    }

    // Forwarding through the internet library.

    void Forward() {
        const bool store = !context_->Options().noStore && Req().method() == http::verb::get;
        UpstreamRequest request{std::string(Req().method_string()),
                                target_,
                                UpstreamHeaderBlock(Req(), target_, store, context_->ViaToken()),
                                store,
                                !context_->Options().allow.empty(),
                                ClientLoopback(),
                                std::move(Req().body())};
        // The exchange keeps the session alive until the worker lets go of
        // it; the session drops the exchange when the response is done.
        exchange_ = std::make_shared<UpstreamExchange>(
            [self = this->shared_from_this(), executor = Lowest().get_executor()] {
                asio::post(executor, [self] { self->OnUpstream(); });
            });
        if (!context_->Upstream().Submit(std::move(request), exchange_)) {
            exchange_.reset();
            SendError(503, "Too many requests are waiting for the network; try again.", false);
        }
    }

    void OnUpstream() {
        if (!exchange_) {
            return;
        }
        if (!streamed_) {
            if (std::optional<ResponseHead> head = exchange_->TakeHead()) {
                return SendUpstreamHead(*head);
            }
            DWORD error = 0;
            if (exchange_->FailedBeforeHead(error)) {
                exchange_.reset();
                UpstreamFailed(error);
            }
            return;
        }
        if (waiting_) {
            waiting_ = false;
            PumpUpstream();
        }
    }

    void SendUpstreamHead(const ResponseHead& head) {
        streamed_ = std::make_unique<StreamedResponse>(http::status::ok, Req().version());
        const bool bodyless = PrepareForwardedHead(head, *streamed_, head_, keepAlive_);
        StartStreamed(bodyless, [this] { PumpUpstream(); });
    }

    void PumpUpstream() {
        bool finished = false;
        DWORD error = 0;
        exchange_->TakeBody(piece_, finished, error);
        if (!piece_.empty() || (finished && error == 0)) {
            return WritePiece(piece_.empty(), [this] { PumpUpstream(); });
        }
        if (finished) {
            return Close(); // cut short upstream: the browser must see it cut short too
        }
        waiting_ = true;
    }

    void UpstreamFailed(DWORD error) {
        const ForwardFailure failure =
            DescribeForwardFailure(error, HostKey(target_.authority, target_.secure));
        const bool readOnly = head_ || Req().method() == http::verb::get;
        if (failure.offline) {
            return readOnly ? ServeFromCache()
                            : SendError(405, "The internet library went offline.", false);
        }
        if (failure.tryCache && readOnly) {
            if (std::unique_ptr<CachedCopy> copy = CachedCopy::Open(CacheUrl(target_))) {
                // Better than an error page for someone who just went offline.
                serving_.stale = true;
                return ServeCopy(std::move(copy));
            }
        }
        SendError(failure.status, failure.message, false);
    }

    // Streaming a response piece by piece.

    void StartStreamed(bool headOnly, std::function<void()> next) {
        if (passing_ && !serving_.view && !headOnly && !pieces_ &&
            MayHoldPanel(streamed_->result_int(), streamed_->base())) {
            pieces_.emplace(); // seen whole, for the panel
            return next();
        }
        serializer_ = std::make_unique<StreamedSerializer>(*streamed_);
        Lowest().expires_after(kWriteTime);
        http::async_write_header(stream_, *serializer_,
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

    /// Writes `piece_` (or, with `last`, the end of the body) and calls
    /// `next` unless it was the last.
    void WritePiece(bool last, std::function<void()> next) {
        if (pieces_ && !serializer_) {
            return GatherPiece(last, std::move(next));
        }
        auto& body = streamed_->body();
        body.data = last ? nullptr : piece_.data();
        body.size = last ? 0 : piece_.size();
        body.more = !last;
        Lowest().expires_after(kWriteTime);
        http::async_write(stream_, *serializer_,
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
            std::shared_ptr<TextResponse> whole = pieces_->Whole(streamed_->base(), keepAlive_);
            return Send(std::move(whole));
        }
        if (pieces_->Add(piece_)) {
            return next();
        }
        // Too large to be a host page: it streams on as it came.
        piece_ = pieces_->Take();
        StartStreamed(false, [this, next = std::move(next)]() mutable {
            WritePiece(false, std::move(next));
        });
    }

    // Simple responses.

    void SendText(unsigned status, const std::string& type, std::string body) {
        Send(TextAnswer(status, Req().version(), type, std::move(body), head_, keepAlive_));
    }

    /// Writes `response`; `held` (the bytes its body points at, if any)
    /// lives until the write is done. A page of a site that holds the
    /// control's object gets the panel in its place first.
    template <class Response>
    void Send(std::shared_ptr<Response> response, std::shared_ptr<const void> held = nullptr) {
        if constexpr (std::is_same_v<Response, TextResponse>) {
            if (passing_ && !serving_.view) {
                PutPanelInResponse(*response, target_, context_->SelfOrigin());
            }
        }
        Lowest().expires_after(kWriteTime);
        Response& message = *response;
        http::async_write(stream_, message,
                          [self = this->shared_from_this(), response = std::move(response),
                           held = std::move(held)](error_code ec, std::size_t) {
                              ec ? self->Close() : self->EndResponse();
                          });
    }

    void SendError(unsigned status, const std::string& message, bool close) {
        if (close || !parser_ || !parser_->is_header_done()) {
            keepAlive_ = false;
        }
        if (!parser_ || !parser_->is_header_done()) {
            parser_.emplace(); // answer as HTTP/1.1 to a request that was not read
            head_ = false;
        }
        const std::string reason(http::obsolete_reason(static_cast<http::status>(status)));
        SendText(status, "text/html; charset=utf-8", ErrorPage(status, reason, message));
    }

    void EndResponse() {
        serving_ = {};
        passing_ = false;
        pieces_.reset();
        copy_.reset();
        exchange_.reset();
        serializer_.reset();
        streamed_.reset();
        waiting_ = false;
        if (keepAlive_) {
            return ReadRequest();
        }
        Close();
    }

    void Close() {
        if (exchange_) {
            exchange_->Cancel();
            exchange_.reset();
        }
        error_code ignored;
        Lowest().socket().shutdown(tcp::socket::shutdown_both, ignored);
        Lowest().close();
    }

    // Plain connections only: --direct hosts and CONNECT.

    void RelayDirect();
    void Connect(Action action);
    void Intercept();

    std::shared_ptr<ProxyContext> context_;
    std::shared_ptr<asio::ssl::context> tls_; // before stream_, which uses it
    ConnectionTicket ticket_;                 // let go once stream_ is closed
    Stream stream_;
    std::optional<Authority> tunnel_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    std::string via_;
    ProxyTarget target_;
    bool head_ = false;
    bool keepAlive_ = true;
    std::optional<bool> m_loopback;
    std::uint64_t m_fileOffset = 0;                // of a copy sent from its file
    std::optional<asio::steady_timer> m_sendTimer; // bounds a wait for room to send it

    std::unique_ptr<CachedCopy> copy_;
    CopyServing serving_;
    std::shared_ptr<UpstreamExchange> exchange_;
    std::unique_ptr<StreamedResponse> streamed_;
    std::unique_ptr<StreamedSerializer> serializer_;
    std::string piece_;
    bool waiting_ = false;
    bool passing_ = false;             // a page of a site, which may get the panel
    std::optional<PagePieces> pieces_; // its body, gathered to be seen whole
    std::shared_ptr<DirectLink> direct_;
};

template <> void Session<beast::tcp_stream>::RelayDirect() {
    RelayToDirectHost(
        direct_, stream_, Req(), target_, context_->ViaToken(),
        [self = shared_from_this()](bool keepAlive, unsigned failure) {
            if (failure != 0) {
                return self->SendError(failure,
                                       "The --direct host " +
                                           HostKey(self->target_.authority, false) +
                                           " did not answer.",
                                       false);
            }
            self->keepAlive_ = self->keepAlive_ && keepAlive;
            self->EndResponse();
        },
        [self = shared_from_this()](std::shared_ptr<TextResponse> page) {
            self->keepAlive_ = self->keepAlive_ && page->keep_alive();
            page->keep_alive(self->keepAlive_);
            self->Send(std::move(page));
        });
}

template <> void Session<beast::tcp_stream>::Intercept() {
    std::shared_ptr<asio::ssl::context> tls = context_->TlsFor(target_.authority.host);
    if (!tls) {
        return SendError(502, "No certificate can be made for this host.", true);
    }
    static const std::string kEstablished = "HTTP/1.1 200 Connection established\r\n\r\n";
    Lowest().expires_after(kWriteTime);
    asio::async_write(stream_, asio::buffer(kEstablished),
                      [self = shared_from_this(), tls](error_code ec, std::size_t) {
                          if (ec) {
                              return self->Close();
                          }
                          auto inner = std::make_shared<Session<TlsStream>>(
                              self->context_, TlsStream(std::move(self->stream_), *tls), tls,
                              self->target_.authority);
                          inner->Hold(self->ticket_);
                          inner->Handshake(std::move(self->buffer_));
                      });
}

template <> void Session<beast::tcp_stream>::Connect(Action action) {
    if (action == Action::Intercept) {
        return Intercept();
    }
    if (!ticket_->BecomeTunnel()) {
        return SendError(503, "Too many tunnels from this address at once.", true);
    }
    const auto early = buffer_.data();
    std::string bytes(static_cast<const char*>(early.data()), early.size());
    TunnelRules rules;
    rules.clientLoopback = ClientLoopback();
    rules.self = context_->CurrentPolicy().self;
    StartTunnel(std::move(stream_), target_.authority, std::move(bytes), rules, ticket_);
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
