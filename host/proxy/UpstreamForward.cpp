// SPDX-License-Identifier: Apache-2.0
#include "host/proxy/UpstreamForward.h"

#include "host/proxy/HeaderFields.h"
#include "host/proxy/WireBytes.h"
#include "platform/cache/MissedUrls.h"
#include "platform/kernel/LastError.h"
#include "platform/text/Utf8.h"

#include <charconv>

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

} // namespace

UpstreamForward::UpstreamForward(UpstreamRequest request,
                                 std::shared_ptr<UpstreamExchange> exchange,
                                 std::function<void(UpstreamForward*)> ended)
    : m_request(std::move(request)), m_exchange(std::move(exchange)), m_ended(std::move(ended)) {}

void UpstreamForward::Start(HINTERNET session) {
    const std::weak_ptr<UpstreamForward> weak = weak_from_this();
    const auto pump = [weak] {
        if (const std::shared_ptr<UpstreamForward> self = weak.lock()) {
            self->Pump();
        }
    };
    {
        // Held until the exchange below is in place: the library may tell
        // of it before Begin returns.
        const std::lock_guard lock(m_mutex);
        m_pumping = true;
    }
    m_exchange->SetRoomCallback(pump);
    const UpstreamRequest& r = m_request;
    DWORD error = 0;
    m_sent = inet::Exchange::Begin(
        session,
        {r.method, r.target.authority.host, r.target.authority.port, r.target.path,
         ForwardFlags(r.target.secure, r.store, r.sharedCache, r.clientLoopback), r.headerBlock,
         r.body},
        pump, error);
    if (!m_sent) {
        Finish(error);
    }
    RunAsked();
}

void UpstreamForward::Pump() {
    {
        const std::lock_guard lock(m_mutex);
        if (m_pumping) {
            m_asked = true;
            return;
        }
        m_pumping = true;
    }
    Run();
    RunAsked();
}

void UpstreamForward::RunAsked() {
    for (;;) {
        {
            const std::lock_guard lock(m_mutex);
            if (!m_asked) {
                m_pumping = false;
                return;
            }
            m_asked = false;
        }
        Run();
    }
}

void UpstreamForward::Run() {
    if (m_finished) {
        return;
    }
    if (m_exchange->Cancelled()) {
        // Closed before its end, the request keeps its partial body out of
        // the cache.
        return Finish(ERROR_CANCELLED);
    }
    if (!m_headed) {
        const DWORD state = m_sent->Arrived();
        if (state == ERROR_IO_PENDING) {
            return;
        }
        if (state != 0) {
            return Finish(state);
        }
        if (!PassHead()) {
            return;
        }
    }
    // The piece that completes the announced body of a response being kept
    // goes out only after the read that finds the end, which is the one that
    // keeps it: a client that has the whole body has it kept, even if the
    // proxy stops the moment after. Nothing else waits: a streamed body
    // reaches the client as it comes.
    while (m_exchange->HasRoom()) {
        std::size_t read = 0;
        const DWORD failed = m_sent->TryRead(m_piece.get(), kReadPiece, read);
        if (failed == ERROR_IO_PENDING) {
            return;
        }
        if (!m_last.empty()) {
            if (!m_exchange->PutBody(m_last.data(), m_last.size())) {
                return Finish(ERROR_CANCELLED);
            }
            m_last.clear();
        }
        if (failed != 0 || read == 0) {
            return Finish(failed);
        }
        m_passed += read;
        if (m_length && m_passed >= *m_length) {
            m_last.assign(m_piece.get(), m_piece.get() + read);
        } else if (!m_exchange->PutBody(m_piece.get(), read)) {
            return Finish(ERROR_CANCELLED);
        }
    }
}

bool UpstreamForward::PassHead() {
    std::optional<ResponseHead> head = ParseResponseHead(m_sent->Head());
    if (!head) {
        Finish(ERROR_HTTP_INVALID_SERVER_RESPONSE);
        return false;
    }
    m_headed = true;
    m_kept = m_request.store && head->status == 200;
    m_length = m_kept ? AnnouncedLength(*head) : std::nullopt;
    m_piece = std::make_unique_for_overwrite<char[]>(kReadPiece);
    m_exchange->PutHead(std::move(*head));
    return true;
}

void UpstreamForward::Finish(DWORD error) {
    m_finished = true;
    // The library's exchange goes first: closed before its end, it keeps
    // nothing, and the session may close once every forward has ended.
    m_sent.reset();
    m_exchange->Finish(error);
    if (error == 0 && m_kept) {
        // Kept now: no longer missing. One that stays listed is fetched
        // again by `fetch --missed`, nothing worse.
        static_cast<void>(urlcache::ForgetMissedUrl(Utf8ToUtf16(CacheUrl(m_request.target))));
    }
    m_ended(this);
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

} // namespace proxy
