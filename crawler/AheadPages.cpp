// SPDX-License-Identifier: Apache-2.0
// The scheduler's pages ahead of the walk: their queue in walk order, their
// fetch read at once and held, the walk's claim, and the cookie rule that
// lets a host get requests early.
#include "crawler/CrawlReport.h"
#include "crawler/CrawlScheduler.h"
#include "crawler/OutOfMemory.h"
#include "net/HeaderBlock.h"
#include "net/HttpRequest.h"
#include "net/InternetSession.h"
#include "net/Url.h"
#include "platform/kernel/LastError.h"

#include <algorithm>
#include <atomic>
#include <new>

namespace {

/// The status callback the crawl's own replaces while it runs; it hears
/// everything, as before.
std::atomic<INTERNET_STATUS_CALLBACK> s_previous{nullptr};
std::atomic<CCrawlScheduler*> s_active{nullptr};

/// Pages read to their end and waiting for the walk, per connection: they
/// hold no connection, only their bodies.
constexpr std::int32_t kReadPerConnection = 8;

/// Pages up to this size are always held in memory until the walk claims
/// their fetch; larger ones while the pages held so stay within
/// kEarlyBudget, and are written to a temporary file past it.
constexpr std::int64_t kReadEarlyBytes = std::int64_t{64} * 1024;

/// The most page bytes held in memory, read early, for the walk to claim.
constexpr std::int64_t kEarlyBudget = std::int64_t{8} << 20;

/// The most page bytes held in temporary files: past it no further page
/// starts ahead until the walk claimed some (a page under way may still add
/// up to the page cap).
constexpr std::int64_t kSpillBudget = std::int64_t{1} << 30;

/// What a body of unknown length is counted as until it has been read.
constexpr std::int64_t kUnknownLengthGuess = std::int64_t{1} << 20;

/// The bytes reading the body of `request` early would hold: none for what
/// the walk will not walk (read through and dropped), nor for a page
/// announced too large to walk; kUnknownLengthGuess for a page of unknown
/// length, which is never held in memory.
std::int64_t HeldIfReadEarly(const CHttpRequest& request, const CCrawlScheduler::Fetched& head) {
    if (!IsWalkable(BodyUse::kWalk, head.status, head.headers)) {
        return 0;
    }
    const std::int64_t length = request.m_nContentLength;
    if (length < 0) {
        return kUnknownLengthGuess;
    }
    return length > kMaxWalkedPageBytes ? 0 : length;
}

/// Reads a page written to `spill` back into `request`'s body; false when
/// the file cannot be read back whole.
bool LoadSpilled(std::FILE* spill, CHttpRequest& request) {
    if (std::fseek(spill, 0, SEEK_END) != 0) {
        return false;
    }
    const long size = std::ftell(spill);
    if (size < 0 || size > kMaxWalkedPageBytes) {
        return false;
    }
    std::rewind(spill);
    CVELMemBuf& body = request.m_response;
    const auto length = static_cast<std::int32_t>(size);
    body.Reserve(length);
    if (std::fread(body.GetData(), 1, static_cast<std::size_t>(length), spill) !=
        static_cast<std::size_t>(length)) {
        return false;
    }
    body.SetLength(length);
    return true;
}

} // namespace

std::u16string CCrawlScheduler::UpperKey(CVELString key) {
    key.MakeUpper();
    return {key.GetData(), static_cast<std::size_t>(key.GetLength())};
}

namespace {

/// The host key (host[:port], upper case) of a request.
std::u16string HostKey(const CHttpRequest& request) {
    CVELString key(request.m_host);
    AppendPort(key, request.m_nPort, request.m_bSecure);
    return CCrawlScheduler::UpperKey(key);
}

/// The host key of `url` (host[:port], upper case) and the name its
/// cookies go by (the host alone: cookies take no notice of ports).
bool UrlHost(const char16_t* url, std::u16string& key, std::u16string& name) {
    CVELString host;
    CVELString path;
    INTERNET_PORT port = 0;
    BOOL secure = FALSE;
    if (!ParseURL(url, host, path, &port, &secure)) {
        return false;
    }
    name = CCrawlScheduler::UpperKey(host);
    AppendPort(host, port, secure);
    key = CCrawlScheduler::UpperKey(host);
    return true;
}

} // namespace

void CCrawlScheduler::HearStatus() {
    // One crawl at a time holds redirects; another running beside it in the
    // same process (a second control) fetches no page ahead.
    CCrawlScheduler* none = nullptr;
    if (g_hInternet != nullptr && s_active.compare_exchange_strong(none, this)) {
        const INTERNET_STATUS_CALLBACK previous =
            InternetSetStatusCallbackW(g_hInternet, &OnStatus);
        if (previous == INTERNET_INVALID_STATUS_CALLBACK) {
            s_active = nullptr;
        } else {
            s_previous = previous;
        }
    }
    m_bHoldsRedirects = s_active == this;
}

void CCrawlScheduler::StopHearingStatus() {
    if (m_bHoldsRedirects) {
        InternetSetStatusCallbackW(g_hInternet, s_previous.load());
        s_active = nullptr;
    }
}

CCrawlScheduler::PageTicket CCrawlScheduler::BeginPage() {
    const MutexLock lock(m_mutex);
    m_nInsertAt = 0;
    return std::make_shared<Page>();
}

void CCrawlScheduler::MakeEager(const PageTicket& page) {
    {
        const MutexLock lock(m_mutex);
        if (page->eager) {
            return;
        }
        page->eager = true;
    }
    StartFetches();
}

CCrawlScheduler::Ticket CCrawlScheduler::Queue(std::unique_ptr<CHttpRequest> request,
                                               const CVELString& url, const PageTicket& page) {
    auto job = std::make_shared<Job>();
    job->page = page;
    job->host = HostKey(*request);
    job->cookieName = UpperKey(request->m_host);
    job->request = std::move(request);
    job->url.Assign(url);
    {
        const MutexLock lock(m_mutex);
        job->index = page->queued++;
        m_pages.insert(m_pages.begin() + static_cast<std::ptrdiff_t>(m_nInsertAt), job);
        ++m_nInsertAt;
    }
    StartFetches();
    return job;
}

bool CCrawlScheduler::EarlyHost(const std::u16string& name) const {
    return m_quiet.contains(name) && !m_cookies.contains(name);
}

std::deque<CCrawlScheduler::Ticket>::iterator CCrawlScheduler::StartablePage() {
    auto at = m_pages.begin();
    for (; at != m_pages.end(); ++at) {
        const Job& job = **at;
        if ((job.page->eager || job.index == job.page->next) && job.host != m_startHost &&
            EarlyHost(job.cookieName)) {
            break;
        }
    }
    return at;
}

bool CCrawlScheduler::CanStartPage() {
    return m_bHoldsRedirects && m_nFetchingPages < m_nPageConnections &&
           m_nRead < m_nConnections * kReadPerConnection && m_nSpilledBytes < kSpillBudget &&
           StartablePage() != m_pages.end();
}

void CCrawlScheduler::Unqueue(const std::deque<Ticket>::const_iterator& at) {
    if (static_cast<std::size_t>(at - m_pages.begin()) < m_nInsertAt) {
        --m_nInsertAt;
    }
    m_pages.erase(at);
}

void CCrawlScheduler::TakeBack(const Ticket& ticket) {
    const auto at = std::find(m_pages.begin(), m_pages.end(), ticket);
    if (at != m_pages.end()) {
        Unqueue(at);
    }
    ticket->state = Job::State::kTaken;
}

bool CCrawlScheduler::Claim(const Ticket& ticket, Fetched& out) {
    Job& job = *ticket;
    bool underWay = false;
    {
        const MutexLock lock(m_mutex);
        job.page->next = std::max(job.page->next, job.index + 1);
        if (job.state == Job::State::kQueued) {
            TakeBack(ticket);
        } else if (job.state != Job::State::kTaken) {
            job.claimed = true;
            underWay = true;
        }
    }
    // A fetch that waited for this claim goes on, before the page's next
    // reference, which may go ahead now, takes a slot.
    if (underWay) {
        Kick(this, ticket);
    }
    StartFetches();
    if (!underWay) {
        return false;
    }
    bool readEarly = false;
    {
        MutexLock lock(m_mutex);
        while (job.state != Job::State::kDone && job.state != Job::State::kRead) {
            m_changed.wait(lock);
        }
        readEarly = job.state == Job::State::kRead;
        if (readEarly) {
            --m_nRead;
            ReleaseHeld(job);
        }
        job.state = Job::State::kTaken;
    }
    if (readEarly) {
        StartFetches(); // room for another page read early
    }
    if (job.outOfMemory != 0) {
        SetLastError(job.outOfMemory);
        throw std::bad_alloc();
    }
    out = std::move(job.fetched);
    if (readEarly) {
        TakeRead(job, out);
    }
    return true;
}

void CCrawlScheduler::TakeRead(Job& job, Fetched& out) {
    if (job.spill && out.result == FetchResult::kDone &&
        !LoadSpilled(job.spill.get(), *out.request)) {
        out.result = FetchResult::kBodyFailed;
        SetLastError(ERROR_CANTREAD);
    }
    job.spill.reset();
    // Here the walk reaches the fetch: the cache is written now.
    out.request->HoldBodyEnd(false);
}

void CCrawlScheduler::Drop(const Ticket& ticket) {
    Job& job = *ticket;
    bool underWay = false;
    std::unique_ptr<CHttpRequest> unread;
    std::unique_ptr<std::FILE, Job::CloseFile> spill;
    {
        const MutexLock lock(m_mutex);
        if (job.state == Job::State::kRead) {
            // Closed with its end held: nothing of it is kept.
            unread = std::move(job.fetched.request);
            spill = std::move(job.spill);
            job.state = Job::State::kTaken;
            --m_nRead;
            ReleaseHeld(job);
        }
        if (job.state == Job::State::kQueued) {
            TakeBack(ticket);
            return;
        }
        job.dropped = job.state != Job::State::kTaken;
        underWay = job.dropped;
    }
    m_changed.notify_all();
    // Called as pages are let go, when running out of memory too: what it
    // sets going may fail, not the drop.
    static_cast<void>(OutOfMemoryIn([&] {
        if (underWay) {
            Kick(this, ticket); // a fetch that waited for the walk ends
        }
        StartFetches();
    }));
}

void CCrawlScheduler::NoteResponse(const CVELString& host, const CVELString& finalUrl,
                                   const CVELString& headers) {
    CVELString cookie;
    const bool setsCookie =
        GetHeader(headers, u"Set-Cookie", cookie) || GetHeader(headers, u"Set-Cookie2", cookie);
    std::u16string finalKey;
    std::u16string hosts[] = {UpperKey(host), {}};
    UrlHost(finalUrl.GetData(), finalKey, hosts[1]);
    {
        const MutexLock lock(m_mutex);
        for (std::u16string& name : hosts) {
            if (!name.empty()) {
                (setsCookie ? m_cookies : m_quiet).insert(std::move(name));
            }
        }
    }
    StartFetches(); // the host may get requests early now
}

bool CCrawlScheduler::MayGoEarly(const CVELString& host) {
    const std::u16string name = UpperKey(host);
    const MutexLock lock(m_mutex);
    return EarlyHost(name);
}

void CCrawlScheduler::SettleHeld(Job& job) {
    // Counted from now on as what it holds.
    const std::int64_t held = job.fetched.request->m_response.GetLength();
    m_nHeldBytes += held - job.heldBytes;
    job.heldBytes = held;
    if (job.spill) {
        const std::int64_t spilled = std::max(std::ftell(job.spill.get()), 0L);
        m_nSpilledBytes += spilled - job.spilledBytes;
        job.spilledBytes = spilled;
    }
}

bool CCrawlScheduler::ReserveEarly(Job& job) {
    const std::int64_t bytes = HeldIfReadEarly(*job.request, job.fetched);
    const bool unknown = bytes > 0 && job.request->m_nContentLength < 0;
    bool spill = unknown;
    {
        // Judged and counted at once, so that pages read side by side
        // cannot all take the last room.
        const MutexLock lock(m_mutex);
        spill = spill || (bytes > kReadEarlyBytes && m_nHeldBytes + bytes > kEarlyBudget);
        (spill ? m_nSpilledBytes : m_nHeldBytes) += bytes;
        (spill ? job.spilledBytes : job.heldBytes) = bytes;
    }
    if (spill) {
        // A file deleted as it is made: nothing is left behind, whatever
        // ends the crawl. Without one the page is held in memory after all.
        job.spill.reset(std::tmpfile());
        if (!job.spill) {
            const MutexLock lock(m_mutex);
            m_nSpilledBytes -= bytes;
            m_nHeldBytes += bytes;
            job.spilledBytes = 0;
            job.heldBytes = bytes;
        }
    }
    if (job.request->HoldBodyEnd(true)) {
        return true;
    }
    job.spill.reset();
    const MutexLock lock(m_mutex);
    ReleaseHeld(job);
    return false;
}

void CCrawlScheduler::ReleaseHeld(Job& job) {
    m_nHeldBytes -= job.heldBytes;
    m_nSpilledBytes -= job.spilledBytes;
    job.heldBytes = 0;
    job.spilledBytes = 0;
}

void CCrawlScheduler::HoldRedirect(Job& job, HINTERNET handle, const char16_t* url) {
    std::u16string host;
    std::u16string name;
    UrlHost(url, host, name);
    {
        const MutexLock lock(m_mutex);
        if ((!host.empty() && host != m_startHost && EarlyHost(name)) || job.claimed) {
            return;
        }
    }
    // The next hop goes where early requests may not: it is sent once the
    // walk has come to this fetch, as one connection would send it
    // (AheadFetches.cpp).
    DWORD one = 1;
    job.hopHeld = InternetSetOptionW(handle, INTERNET_OPTION_HOLD_HOP, &one, sizeof one) != FALSE;
}

void CCrawlScheduler::OnStatus(HINTERNET handle, std::uintptr_t context, DWORD status, void* info,
                               DWORD length) {
    if (const INTERNET_STATUS_CALLBACK previous = s_previous.load()) {
        previous(handle, context, status, info, length);
    }
    CCrawlScheduler* const active = s_active.load();
    if (status != INTERNET_STATUS_REDIRECT || active == nullptr || info == nullptr) {
        return;
    }
    const auto* url = static_cast<const char16_t*>(info);
    if (const Fetching fetching = FetchingResource(); fetching.owner != active) {
        return;
    } else if (fetching.resource != nullptr) {
        active->Redirected(*fetching.resource, handle, url);
    } else if (fetching.page != nullptr) {
        active->HoldRedirect(*fetching.page, handle, url);
    }
}
