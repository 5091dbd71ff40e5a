#include "host/proxy/UpstreamPool.h"

#include "host/ErrorText.h"
#include "host/proxy/WireBytes.h"
#include "net/InternetSession.h"
#include "platform/cache/MissedUrls.h"
#include "platform/kernel/LastError.h"
#include "platform/text/Utf8.h"

#include <vector>

namespace proxy {

namespace {

constexpr DWORD kReadPiece = 64 * 1024;

/// Closes an internet handle when it goes.
struct InternetHandle {
    HINTERNET handle = nullptr;
    explicit InternetHandle(HINTERNET h) : handle(h) {}
    ~InternetHandle() {
        if (handle != nullptr) {
            InternetCloseHandle(handle);
        }
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
};

std::optional<std::string> RawHead(HINTERNET request) {
    DWORD size = 0;
    if (HttpQueryInfoW(request, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &size, nullptr) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return std::nullopt;
    }
    std::u16string text(size / sizeof(char16_t) + 1, u'\0');
    size = static_cast<DWORD>(text.size() * sizeof(char16_t));
    if (!HttpQueryInfoW(request, HTTP_QUERY_RAW_HEADERS_CRLF, text.data(), &size, nullptr)) {
        return std::nullopt;
    }
    text.resize(size / sizeof(char16_t));
    return Narrow(text);
}

/// Runs one request on `session`; the exchange learns the outcome.
void Forward(HINTERNET session, const UpstreamRequest& r, UpstreamExchange& exchange) {
    const InternetHandle connect(InternetConnectW(session, Widen(r.target.authority.host).c_str(),
                                                  r.target.authority.port, nullptr, nullptr,
                                                  INTERNET_SERVICE_HTTP, 0, 0));
    const std::u16string verb = Widen(r.method);
    const InternetHandle request(connect.handle == nullptr
                                     ? nullptr
                                     : HttpOpenRequestW(connect.handle, verb.c_str(),
                                                        Widen(r.target.path).c_str(), u"HTTP/1.1",
                                                        nullptr, nullptr,
                                                        ForwardFlags(r.target.secure, r.store), 0));
    const std::u16string headers = Widen(r.headerBlock);
    if (request.handle == nullptr ||
        !HttpSendRequestW(request.handle, headers.c_str(), static_cast<DWORD>(headers.size()),
                          r.body.empty() ? nullptr : const_cast<char*>(r.body.data()),
                          static_cast<DWORD>(r.body.size()))) {
        exchange.Finish(GetLastError());
        return;
    }
    const std::optional<std::string> raw = RawHead(request.handle);
    std::optional<ResponseHead> head = raw ? ParseResponseHead(*raw) : std::nullopt;
    if (!head) {
        exchange.Finish(ERROR_HTTP_INVALID_SERVER_RESPONSE);
        return;
    }
    const bool kept = r.store && head->status == 200;
    exchange.PutHead(std::move(*head));
    std::vector<char> piece(kReadPiece);
    for (;;) {
        DWORD read = 0;
        if (!InternetReadFile(request.handle, piece.data(), kReadPiece, &read)) {
            exchange.Finish(GetLastError());
            return;
        }
        if (read == 0) {
            exchange.Finish(0);
            if (kept) {
                // Kept now: no longer missing.
                urlcache::ForgetMissedUrl(Utf8ToUtf16(CacheUrl(r.target)));
            }
            return;
        }
        // A cancelled exchange closes the request before its end: the
        // library then keeps the partial body out of the cache.
        if (!exchange.PutBody(piece.data(), read)) {
            exchange.Finish(ERROR_CANCELLED);
            return;
        }
    }
}

} // namespace

ForwardFailure DescribeForwardFailure(DWORD error, const std::string& hostKey) {
    ForwardFailure failure;
    failure.offline = error == ERROR_INTERNET_DISCONNECTED;
    failure.tryCache = error == ERROR_INTERNET_CANNOT_CONNECT ||
                       error == ERROR_INTERNET_NAME_NOT_RESOLVED || error == ERROR_INTERNET_TIMEOUT;
    failure.status = error == ERROR_INTERNET_TIMEOUT ? 504 : 502;
    failure.message = "The request to " + hostKey + " failed: " + DescribeError(error) + ".";
    return failure;
}

DWORD ForwardFlags(bool secure, bool store) {
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP |
                  INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS | INTERNET_FLAG_HYPERLINK |
                  INTERNET_FLAG_NEED_FILE | INTERNET_FLAG_NO_AUTO_REDIRECT |
                  INTERNET_FLAG_NO_COOKIES;
    if (secure) {
        flags |= INTERNET_FLAG_SECURE;
    }
    if (!store) {
        flags |= INTERNET_FLAG_NO_CACHE_WRITE;
    }
    return flags;
}

UpstreamPool::UpstreamPool(std::size_t workers, std::size_t maxQueued)
    : maxQueued_(maxQueued), running_(workers) {
    for (std::size_t i = 0; i < workers; ++i) {
        threads_.emplace_back([this, i] { Work(i); });
    }
}

void UpstreamPool::Shutdown() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        for (Job& job : queue_) {
            job.exchange->Finish(ERROR_CANCELLED);
        }
        queue_.clear();
        for (const auto& exchange : running_) {
            if (exchange) {
                exchange->Cancel();
            }
        }
    }
    ready_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
    threads_.clear();
}

bool UpstreamPool::Submit(UpstreamRequest request, std::shared_ptr<UpstreamExchange> exchange) {
    {
        const std::lock_guard lock(mutex_);
        if (stopping_ || queue_.size() >= maxQueued_) {
            return false;
        }
        queue_.push_back({std::move(request), std::move(exchange)});
    }
    ready_.notify_one();
    return true;
}

void UpstreamPool::Work(std::size_t slot) {
    HINTERNET session = nullptr;
    for (;;) {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) {
            break;
        }
        Job job = std::move(queue_.front());
        queue_.pop_front();
        running_[slot] = job.exchange;
        lock.unlock();
        if (job.exchange->Cancelled()) {
            job.exchange->Finish(ERROR_CANCELLED);
            continue;
        }
        if (session == nullptr) {
            session = OpenCrawlLikeSession();
        }
        if (session == nullptr) {
            job.exchange->Finish(GetLastError());
            continue;
        }
        Forward(session, job.request, *job.exchange);
        lock.lock();
        running_[slot].reset();
    }
    if (session != nullptr) {
        InternetCloseHandle(session);
    }
}

} // namespace proxy
