// SPDX-License-Identifier: Apache-2.0
#include "crawler/AheadFetcher.h"

#include "crawler/ConnectionSlots.h"
#include "crawler/CrawlReport.h"
#include "crawler/OutOfMemory.h"
#include "crawler/ResourcePool.h"
#include "net/HeaderBlock.h"
#include "net/HttpRequest.h"
#include "net/InternetSession.h"
#include "net/Url.h"
#include "platform/kernel/LastError.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <system_error>

namespace {

/// The status callback the crawl's own replaces while it runs; it hears
/// everything, as before.
std::atomic<INTERNET_STATUS_CALLBACK> s_previous{nullptr};
std::atomic<CAheadFetcher*> s_active{nullptr};
/// The fetch the calling connection is sending, if any.
thread_local CAheadFetcher::Job* t_sending = nullptr;

/// Fetches read to their end and waiting for the walk, per connection: they
/// hold no connection, only their bodies of up to kReadEarlyBytes.
constexpr std::int32_t kReadPerConnection = 8;

/// Pages up to this size are always held in memory until the walk claims
/// their fetch; larger ones while the pages held so stay within
/// kEarlyBudget, and are written to a temporary file past it.
constexpr std::int64_t kReadEarlyBytes = std::int64_t{64} * 1024;

/// The most page bytes held in memory, read early, for the walk to claim.
constexpr std::int64_t kEarlyBudget = std::int64_t{8} << 20;

/// The most page bytes held in temporary files: past it no further fetch
/// starts ahead until the walk claimed some (a page under way may still
/// add up to the page cap).
constexpr std::int64_t kSpillBudget = std::int64_t{1} << 30;

/// What a body of unknown length is counted as until it has been read.
constexpr std::int64_t kUnknownLengthGuess = std::int64_t{1} << 20;

/// The bytes reading the body of `request` early would hold: none for what
/// the walk will not walk (read through and dropped), nor for a page
/// announced too large to walk.
std::int64_t HeldIfReadEarly(const CHttpRequest& request, const CAheadFetcher::Fetched& head) {
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

struct CloseFile {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::u16string UpperKey(CVELString key) {
    key.MakeUpper();
    return {key.GetData(), static_cast<std::size_t>(key.GetLength())};
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
    name = UpperKey(host);
    AppendPort(host, port, secure);
    key = UpperKey(host);
    return true;
}

} // namespace

struct CAheadFetcher::Job {
    /// kRead: read to its end early, the end held until the walk claims it.
    enum class State { kQueued, kSending, kWaiting, kDone, kRead, kTaken };
    std::unique_ptr<CHttpRequest> request;
    CVELString url;
    std::u16string host;
    std::u16string cookieName; // the host as cookies know it
    PageTicket page;
    std::size_t index = 0; // in its page's references
    State state = State::kQueued;
    bool claimed = false;
    bool dropped = false;
    DWORD outOfMemory = 0;
    std::int64_t heldBytes = 0;                  // counted in m_nHeldBytes while read early
    std::int64_t spilledBytes = 0;               // counted in m_nSpilledBytes while read early
    std::unique_ptr<std::FILE, CloseFile> spill; // the page read early, when not held in memory
    Fetched fetched;
};

CAheadFetcher::CAheadFetcher(std::int32_t connections, const CVELString& startHost,
                             CConnectionSlots* slots)
    : m_nConnections(std::max(connections, std::int32_t{1})), m_startHost(UpperKey(startHost)),
      m_pSlots(slots) {
    // One crawl at a time holds redirects; another running beside it in the
    // same process (a second control) fetches nothing ahead.
    CAheadFetcher* none = nullptr;
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

CAheadFetcher::~CAheadFetcher() {
    {
        const std::lock_guard lock(m_mutex);
        m_bStopping = true;
        for (const Ticket& job : m_queue) {
            job->state = Job::State::kTaken;
        }
        m_queue.clear();
    }
    m_changed.notify_all();
    for (std::thread& worker : m_workers) {
        worker.join();
    }
    if (m_bHoldsRedirects) {
        InternetSetStatusCallbackW(g_hInternet, s_previous.load());
        s_active = nullptr;
    }
}

std::u16string CAheadFetcher::HostKey(const CHttpRequest& request) {
    CVELString key(request.m_host);
    AppendPort(key, request.m_nPort, request.m_bSecure);
    return UpperKey(key);
}

CAheadFetcher::PageTicket CAheadFetcher::BeginPage() {
    const std::lock_guard lock(m_mutex);
    m_nInsertAt = 0;
    return std::make_shared<Page>();
}

void CAheadFetcher::MakeEager(const PageTicket& page) {
    {
        const std::lock_guard lock(m_mutex);
        if (page->eager) {
            return;
        }
        page->eager = true;
    }
    m_changed.notify_all();
}

CAheadFetcher::Ticket CAheadFetcher::Queue(std::unique_ptr<CHttpRequest> request,
                                           const CVELString& url, const PageTicket& page) {
    auto job = std::make_shared<Job>();
    job->page = page;
    job->host = HostKey(*request);
    job->cookieName = UpperKey(request->m_host);
    job->request = std::move(request);
    job->url.Assign(url);
    if (m_workers.empty() && m_bHoldsRedirects) {
        StartWorkers();
    }
    {
        const std::lock_guard lock(m_mutex);
        job->index = page->queued++;
        m_queue.insert(m_queue.begin() + static_cast<std::ptrdiff_t>(m_nInsertAt), job);
        ++m_nInsertAt;
    }
    m_changed.notify_all();
    return job;
}

void CAheadFetcher::StartWorkers() {
    // Threads the system refuses are done without; with none, every
    // reference is the walk's to fetch.
    try {
        for (std::int32_t i = 0; i < m_nConnections; ++i) {
            m_workers.emplace_back([this] { Work(); });
        }
    } catch (const std::system_error&) {
    }
}

std::deque<CAheadFetcher::Ticket>::iterator CAheadFetcher::Startable() {
    return std::find_if(m_queue.begin(), m_queue.end(), [this](const Ticket& job) {
        return (job->page->eager || job->index == job->page->next) && job->host != m_startHost &&
               m_quiet.contains(job->cookieName) && !m_cookies.contains(job->cookieName);
    });
}

void CAheadFetcher::Unqueue(const std::deque<Ticket>::const_iterator& at) {
    if (static_cast<std::size_t>(at - m_queue.begin()) < m_nInsertAt) {
        --m_nInsertAt;
    }
    m_queue.erase(at);
}

void CAheadFetcher::TakeBack(const Ticket& ticket) {
    const auto at = std::find(m_queue.begin(), m_queue.end(), ticket);
    if (at != m_queue.end()) {
        Unqueue(at);
    }
    ticket->state = Job::State::kTaken;
}

bool CAheadFetcher::Claim(const Ticket& ticket, Fetched& out) {
    Job& job = *ticket;
    std::unique_lock lock(m_mutex);
    job.page->next = std::max(job.page->next, job.index + 1);
    m_changed.notify_all(); // the page's next reference may go ahead now
    if (job.state == Job::State::kQueued) {
        TakeBack(ticket);
        return false;
    }
    if (job.state == Job::State::kTaken) {
        return false;
    }
    job.claimed = true;
    m_changed.notify_all();
    m_changed.wait(
        lock, [&job] { return job.state == Job::State::kDone || job.state == Job::State::kRead; });
    const bool readEarly = job.state == Job::State::kRead;
    if (readEarly) {
        --m_nRead;
        ReleaseHeld(job);
        m_changed.notify_all();
    }
    job.state = Job::State::kTaken;
    lock.unlock();
    if (job.outOfMemory != 0) {
        SetLastError(job.outOfMemory);
        throw std::bad_alloc();
    }
    out = std::move(job.fetched);
    if (readEarly) {
        if (job.spill && out.result == FetchResult::kDone &&
            !LoadSpilled(job.spill.get(), *out.request)) {
            out.result = FetchResult::kBodyFailed;
            SetLastError(ERROR_CANTREAD);
        }
        job.spill.reset();
        // Here the walk reaches the fetch: the cache is written now.
        out.request->HoldBodyEnd(false);
    }
    return true;
}

void CAheadFetcher::Drop(const Ticket& ticket) {
    Job& job = *ticket;
    std::unique_ptr<CHttpRequest> unread;
    std::unique_ptr<std::FILE, CloseFile> spill;
    {
        const std::lock_guard lock(m_mutex);
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
    }
    m_changed.notify_all();
}

void CAheadFetcher::NoteResponse(const CVELString& host, const CVELString& finalUrl,
                                 const CVELString& headers) {
    CVELString cookie;
    const bool setsCookie =
        GetHeader(headers, u"Set-Cookie", cookie) || GetHeader(headers, u"Set-Cookie2", cookie);
    std::u16string finalKey;
    std::u16string hosts[] = {UpperKey(host), {}};
    UrlHost(finalUrl.GetData(), finalKey, hosts[1]);
    {
        const std::lock_guard lock(m_mutex);
        for (std::u16string& host : hosts) {
            if (host.empty()) {
                continue;
            }
            if (setsCookie) {
                m_cookies.insert(std::move(host));
            } else {
                m_quiet.insert(std::move(host));
            }
        }
    }
    m_changed.notify_all();
}

bool CAheadFetcher::MayGoEarly(const CVELString& host) {
    const std::u16string name = UpperKey(host);
    const std::lock_guard lock(m_mutex);
    return m_quiet.contains(name) && !m_cookies.contains(name);
}

bool CAheadFetcher::CanStart() {
    return m_nRead < m_nConnections * kReadPerConnection && m_nSpilledBytes < kSpillBudget &&
           Startable() != m_queue.end();
}

void CAheadFetcher::Help(CResourcePool* pool) {
    std::unique_lock lock(m_mutex);
    m_pHelped = pool;
    m_changed.notify_all();
    m_changed.wait(lock, [this, pool] { return pool != nullptr || m_nHelping == 0; });
}

void CAheadFetcher::WakeHelpers() {
    {
        // Taken so that a connection about to wait sees the resource or
        // hears of it.
        const std::lock_guard lock(m_mutex);
    }
    m_changed.notify_all();
}

void CAheadFetcher::Work() {
    for (;;) {
        Ticket job;
        CResourcePool* helped = nullptr;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] {
                return m_bStopping || CanStart() ||
                       (m_pHelped != nullptr && m_pHelped->HasQueued());
            });
            if (m_bStopping) {
                return;
            }
            if (CanStart()) {
                const auto at = Startable();
                job = *at;
                Unqueue(at);
                job->state = Job::State::kSending;
            } else {
                helped = m_pHelped;
                ++m_nHelping;
            }
        }
        if (job) {
            Fetch(*job);
            continue;
        }
        // One resource, then the pages again: a page that may go ahead
        // meanwhile is what the walk will wait for.
        helped->HelpOnce();
        {
            const std::lock_guard lock(m_mutex);
            --m_nHelping;
        }
        m_changed.notify_all();
    }
}

void CAheadFetcher::Fetch(Job& job) {
    const CConnectionSlots::Held connection(m_pSlots);
    Fetched& fetched = job.fetched;
    FetchResult head = FetchResult::kNotSent;
    t_sending = &job;
    DWORD outOfMemory = OutOfMemoryIn([&] {
        head = FetchHead(*job.request, job.url, fetched.status, fetched.headers, fetched.finalUrl);
        if (head == FetchResult::kDone) {
            NoteResponse(job.request->m_host, fetched.finalUrl, fetched.headers);
        }
    });
    t_sending = nullptr;
    // The body is read now, its end held, a page in memory while the pages
    // held so stay within budget and in a temporary file past it: the
    // connection is free for the next fetch, no server can drop the response
    // while it waits for the walk, and the cache is written when the walk
    // claims it.
    const bool early = head == FetchResult::kDone && outOfMemory == 0 && ReserveEarly(job);
    if (early) {
        outOfMemory = OutOfMemoryIn([&] {
            head = FetchBody(*job.request, BodyUse::kWalk, fetched.status, fetched.headers,
                             job.spill.get());
        });
    } else {
        outOfMemory = ReadWhenClaimed(job, head, outOfMemory);
    }
    fetched.result = head;
    fetched.request = std::move(job.request);
    std::unique_ptr<CHttpRequest> unclaimed;
    std::unique_ptr<std::FILE, CloseFile> unclaimedSpill;
    {
        const std::lock_guard lock(m_mutex);
        job.outOfMemory = outOfMemory;
        if (early) {
            // Counted from now on as what it holds.
            const std::int64_t held = fetched.request->m_response.GetLength();
            m_nHeldBytes += held - job.heldBytes;
            job.heldBytes = held;
            if (job.spill) {
                const std::int64_t spilled = std::max(std::ftell(job.spill.get()), 0L);
                m_nSpilledBytes += spilled - job.spilledBytes;
                job.spilledBytes = spilled;
            }
        }
        if (early && job.dropped) {
            // Dropped while it was read: nobody will claim it, nor count it
            // out again. Closed with its end held, nothing of it is kept.
            unclaimed = std::move(fetched.request);
            unclaimedSpill = std::move(job.spill);
            job.state = Job::State::kTaken;
            ReleaseHeld(job);
        } else {
            job.state = early ? Job::State::kRead : Job::State::kDone;
            m_nRead += early ? 1 : 0;
        }
    }
    m_changed.notify_all();
}

bool CAheadFetcher::ReserveEarly(Job& job) {
    const std::int64_t bytes = HeldIfReadEarly(*job.request, job.fetched);
    bool spill = false;
    {
        const std::lock_guard lock(m_mutex);
        spill = bytes > kReadEarlyBytes && m_nHeldBytes + bytes > kEarlyBudget;
    }
    if (spill) {
        // A file deleted as it is made: nothing is left behind, whatever
        // ends the crawl. Without one the page is held in memory after all.
        job.spill.reset(std::tmpfile());
        spill = job.spill != nullptr;
    }
    {
        const std::lock_guard lock(m_mutex);
        (spill ? m_nSpilledBytes : m_nHeldBytes) += bytes;
        (spill ? job.spilledBytes : job.heldBytes) = bytes;
    }
    if (job.request->HoldBodyEnd(true)) {
        return true;
    }
    job.spill.reset();
    const std::lock_guard lock(m_mutex);
    ReleaseHeld(job);
    return false;
}

void CAheadFetcher::ReleaseHeld(Job& job) {
    m_nHeldBytes -= job.heldBytes;
    m_nSpilledBytes -= job.spilledBytes;
    job.heldBytes = 0;
    job.spilledBytes = 0;
}

DWORD CAheadFetcher::ReadWhenClaimed(Job& job, FetchResult& head, DWORD outOfMemory) {
    bool claimed = false;
    {
        // Only when the library would not hold the body's end: the
        // connection waits for the walk, so its slot is lent meanwhile.
        const CConnectionSlots::Lent lent;
        std::unique_lock lock(m_mutex);
        job.state = Job::State::kWaiting;
        m_changed.notify_all();
        m_changed.wait(lock, [this, &job] { return job.claimed || job.dropped || m_bStopping; });
        claimed = job.claimed;
    }
    if (claimed && head == FetchResult::kDone && outOfMemory == 0) {
        // Read here, where the connection lives; the library writes the
        // cache as the end is read, while the walk waits for it.
        outOfMemory = OutOfMemoryIn([&] {
            head = FetchBody(*job.request, BodyUse::kWalk, job.fetched.status, job.fetched.headers);
        });
    }
    if (!claimed) {
        job.request.reset(); // closed before its end: nothing of it is kept
    }
    return outOfMemory;
}

void CAheadFetcher::HoldRedirect(Job& job, const char16_t* url) {
    std::u16string host;
    std::u16string name;
    UrlHost(url, host, name);
    std::unique_lock lock(m_mutex);
    if (!host.empty() && host != m_startHost && m_quiet.contains(name) &&
        !m_cookies.contains(name)) {
        return;
    }
    // The next hop goes where early requests may not: it is sent once the
    // walk has come to this fetch, as one connection would send it. The
    // last hop's connection is idle meanwhile; the walk may need its slot.
    lock.unlock();
    const CConnectionSlots::Lent lent;
    lock.lock();
    m_changed.wait(lock, [this, &job] { return job.claimed || job.dropped || m_bStopping; });
}

void CAheadFetcher::OnStatus(HINTERNET handle, std::uintptr_t context, DWORD status, void* info,
                             DWORD length) {
    if (const INTERNET_STATUS_CALLBACK previous = s_previous.load()) {
        previous(handle, context, status, info, length);
    }
    CAheadFetcher* const active = s_active.load();
    if (status == INTERNET_STATUS_REDIRECT && t_sending != nullptr && active != nullptr &&
        info != nullptr) {
        active->HoldRedirect(*t_sending, static_cast<const char16_t*>(info));
    }
}
