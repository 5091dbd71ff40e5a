// SPDX-License-Identifier: Apache-2.0
#include "host/proxy/UpstreamPool.h"

#include "host/common/ErrorText.h"
#include "host/proxy/HeaderFields.h"
#include "host/proxy/WireBytes.h"
#include "net/InternetSession.h"
#include "platform/cache/MissedUrls.h"
#include "platform/inet/Exchange.h"
#include "platform/kernel/LastError.h"
#include "platform/text/Utf8.h"

#include <charconv>
#include <optional>
#include <vector>

namespace proxy {

namespace {

constexpr std::size_t kReadPiece = std::size_t{64} * 1024;

/// The body length `head` announces, when it announces one.
std::optional<std::uint64_t> AnnouncedLength(const ResponseHead& head) {
    const std::optional<std::string_view> field = FindField(head.fields, "Content-Length");
    std::uint64_t length = 0;
    if (!field || field->empty() ||
        std::from_chars(field->data(), field->data() + field->size(), length).ptr !=
            field->data() + field->size()) {
        return std::nullopt;
    }
    return length;
}

/// Runs one request on `session`; the exchange learns the outcome.
void Forward(HINTERNET session, const UpstreamRequest& r, UpstreamExchange& exchange) {
    DWORD error = 0;
    const std::unique_ptr<inet::Exchange> sent = inet::Exchange::Send(
        session,
        {r.method, r.target.authority.host, r.target.authority.port, r.target.path,
         ForwardFlags(r.target.secure, r.store, r.sharedCache, r.clientLoopback), r.headerBlock,
         r.body},
        error);
    if (!sent) {
        exchange.Finish(error);
        return;
    }
    std::optional<ResponseHead> head = ParseResponseHead(sent->Head());
    if (!head) {
        exchange.Finish(ERROR_HTTP_INVALID_SERVER_RESPONSE);
        return;
    }
    const bool kept = r.store && head->status == 200;
    const std::optional<std::uint64_t> length = kept ? AnnouncedLength(*head) : std::nullopt;
    exchange.PutHead(std::move(*head));
    // The piece that completes the announced body of a response being kept
    // goes out only after the read that finds the end, which is the one that
    // keeps it: a client that has the whole body has it kept, even if the
    // proxy stops the moment after. Nothing else waits: a streamed body
    // reaches the client as it comes.
    std::vector<char> piece(kReadPiece);
    std::vector<char> last;
    std::uint64_t passed = 0;
    for (;;) {
        std::size_t read = 0;
        const DWORD failed = sent->Read(piece.data(), piece.size(), read);
        if (!last.empty()) {
            if (!exchange.PutBody(last.data(), last.size())) {
                exchange.Finish(ERROR_CANCELLED);
                return;
            }
            last.clear();
        }
        if (failed != 0) {
            exchange.Finish(failed);
            return;
        }
        if (read == 0) {
            exchange.Finish(0);
            if (kept) {
                // Kept now: no longer missing. One that stays listed is
                // fetched again by `fetch --missed`, nothing worse.
                static_cast<void>(urlcache::ForgetMissedUrl(Utf8ToUtf16(CacheUrl(r.target))));
            }
            return;
        }
        passed += read;
        if (length && passed >= *length) {
            last.assign(piece.data(), piece.data() + read);
            continue;
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
    if (error == ERROR_ACCESS_DENIED) {
        failure.status = 403;
        failure.message = hostKey + " is an address of the proxy's machine, which only a client "
                                    "on that machine may reach through the proxy.";
    }
    return failure;
}

DWORD ForwardFlags(bool secure, bool store, bool shared, bool forThisMachine) {
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
    flags |= shared ? INTERNET_FLAG_HTTP_CACHE_SHARED : INTERNET_FLAG_HTTP_CACHE_PRIVATE;
    if (shared && !forThisMachine) {
        flags |= INTERNET_FLAG_HTTP_CACHE_FOR_OTHERS;
    }
    if (!forThisMachine) {
        // Checked on the address connected to, not on a name resolved
        // before: a name may resolve elsewhere the second time.
        flags |= INTERNET_FLAG_NO_LOCAL_ADDRESSES;
    }
    return flags;
}

UpstreamPool::UpstreamPool(std::size_t maxWorkers, std::size_t maxQueued)
    : m_maxQueued(maxQueued), m_running(maxWorkers) {
    m_threads.reserve(maxWorkers);
}

void UpstreamPool::Shutdown() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        for (Job& job : m_queue) {
            job.exchange->Finish(ERROR_CANCELLED);
        }
        m_queue.clear();
        for (const auto& exchange : m_running) {
            if (exchange) {
                exchange->Cancel();
            }
        }
    }
    m_ready.notify_all();
    for (std::thread& thread : m_threads) {
        thread.join();
    }
    m_threads.clear();
}

bool UpstreamPool::Submit(UpstreamRequest request, std::shared_ptr<UpstreamExchange> exchange) {
    {
        const std::lock_guard lock(m_mutex);
        if (m_stopping || m_queue.size() >= m_maxQueued) {
            return false;
        }
        m_queue.push_back({std::move(request), std::move(exchange)});
        if (m_queue.size() > m_idle && m_threads.size() < m_running.size()) {
            // Shutdown sets m_stopping under the lock before it joins, so
            // no worker is added while it does.
            const std::size_t slot = m_threads.size();
            m_threads.emplace_back([this, slot] { Work(slot); });
            ++m_idle; // counted idle until it takes its first request
        }
    }
    m_ready.notify_one();
    return true;
}

void UpstreamPool::Work(std::size_t slot) {
    inet::OwnedSession session;
    for (;;) {
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_queue.empty()) {
            break;
        }
        --m_idle;
        Job job = std::move(m_queue.front());
        m_queue.pop_front();
        m_running[slot] = job.exchange;
        lock.unlock();
        if (job.exchange->Cancelled()) {
            job.exchange->Finish(ERROR_CANCELLED);
            continue;
        }
        if (!session) {
            session.reset(OpenCrawlLikeSession());
        }
        if (!session) {
            job.exchange->Finish(GetLastError());
            continue;
        }
        Forward(session.get(), job.request, *job.exchange);
        lock.lock();
        m_running[slot].reset();
        ++m_idle;
    }
}

} // namespace proxy
