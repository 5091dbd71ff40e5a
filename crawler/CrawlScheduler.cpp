// SPDX-License-Identifier: Apache-2.0
// The scheduler's connections and the resources they fetch beside the walk.
#include "crawler/CrawlScheduler.h"

#include "crawler/CrawlReport.h"
#include "crawler/OutOfMemory.h"
#include "net/HttpRequest.h"
#include "platform/cache/CacheKey.h"
#include "platform/kernel/LastError.h"

#include <algorithm>
#include <new>
#include <string_view>
#include <system_error>

namespace {

/// Resources waiting per connection before the walk waits for them: enough
/// to keep every connection busy, few enough that memory stays flat.
constexpr std::size_t kQueuedPerConnection = 4;

} // namespace

CCrawlScheduler::CCrawlScheduler(std::int32_t connections, const CVELString& startHost,
                                 const FILETIME& syncStart)
    : m_nConnections(std::clamp(connections, std::int32_t{1}, kMaxConnections)),
      m_nPageConnections(std::max(m_nConnections / 3, std::int32_t{1})),
      m_startHost(UpperKey(startHost)), m_syncStart(syncStart), m_slots(m_nConnections) {
    HearStatus();
}

CCrawlScheduler::~CCrawlScheduler() {
    {
        const MutexLock lock(m_mutex);
        m_bStopping = true;
        for (const Ticket& job : m_pages) {
            job->state = Job::State::kTaken;
        }
        m_pages.clear();
    }
    m_changed.notify_all();
    // Connections finish what they fetch and the resources still queued.
    for (std::thread& worker : m_workers) {
        worker.join();
    }
    StopHearingStatus();
}

std::uint64_t CCrawlScheduler::KeyHash(const char16_t* url) {
    // 64-bit FNV-1a of the cache key: two different keys meeting by chance
    // (about 2^-64 per pair) would cost one resource its fetch.
    const std::u16string key = urlcache::CacheKeyOf(std::u16string_view(url));
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char16_t unit : key) {
        hash = (hash ^ unit) * 1099511628211ULL;
    }
    return hash;
}

void CCrawlScheduler::StartWorkers() {
    // Threads the system refuses are done without; with none, every page is
    // the walk's to fetch and every resource is fetched as it is handed.
    try {
        for (std::int32_t i = 0; i < m_nConnections; ++i) {
            m_workers.emplace_back([this] { Work(); });
        }
    } catch (const std::system_error&) {
    }
}

bool CCrawlScheduler::TakeWork(MutexLock& lock, Ticket& page, Resource& resource) {
    for (;;) {
        // Pages first: the walk will wait for them, and they hold it up;
        // resources only when no page may go.
        if (CanStartPage()) {
            const auto at = StartablePage();
            page = *at;
            Unqueue(at);
            page->state = Job::State::kSending;
            ++m_nFetchingPages;
            return true;
        }
        if (!m_resources.empty()) {
            resource = std::move(m_resources.front());
            m_resources.pop_front();
            ++m_nBusy;
            m_changed.notify_all(); // room in the queue
            return true;
        }
        if (m_bStopping) {
            return false;
        }
        m_changed.wait(lock);
    }
}

void CCrawlScheduler::Work() {
    for (;;) {
        Ticket page;
        Resource resource;
        {
            MutexLock lock(m_mutex);
            if (!TakeWork(lock, page, resource)) {
                return;
            }
        }
        if (!page) {
            RunResource(resource);
            continue;
        }
        FetchPage(*page);
        {
            const MutexLock lock(m_mutex);
            --m_nFetchingPages;
        }
        m_changed.notify_all();
    }
}

void CCrawlScheduler::Hand(std::unique_ptr<CHttpRequest> request, const CVELString& url) {
    if (m_workers.empty()) {
        StartWorkers();
    }
    Resource resource;
    resource.request = std::move(request);
    resource.url.Assign(url);
    if (m_workers.empty()) {
        FetchResource(resource);
        return;
    }
    resource.key = KeyHash(url.GetData());
    {
        MutexLock lock(m_mutex);
        while (m_resources.size() >=
               kQueuedPerConnection * static_cast<std::size_t>(m_nConnections)) {
            m_changed.wait(lock);
        }
        AddUnfinished(resource.key);
        Register(resource);
        m_resources.push_back(std::move(resource));
    }
    m_changed.notify_all();
}

void CCrawlScheduler::AwaitFetchesOf(const char16_t* url) {
    const std::uint64_t key = KeyHash(url);
    MutexLock lock(m_mutex);
    while (m_unfinished.contains(key)) {
        m_changed.wait(lock);
    }
    // The walk judges the URL now: a redirect to it from an earlier
    // resource that comes after this is one it did not see.
    const auto hops = m_hops.find(key);
    m_judgedKey = key;
    m_judgedHops = hops == m_hops.end() ? 0 : hops->second.seen.size();
}

void CCrawlScheduler::Wait() {
    MutexLock lock(m_mutex);
    while (!m_resources.empty() || m_nBusy != 0) {
        m_changed.wait(lock);
    }
    if (m_dwOutOfMemory != 0) {
        SetLastError(m_dwOutOfMemory);
        throw std::bad_alloc();
    }
}

void CCrawlScheduler::AddUnfinished(std::uint64_t key) {
    ++m_unfinished[key];
}

void CCrawlScheduler::RemoveUnfinished(std::uint64_t key) {
    const auto found = m_unfinished.find(key);
    if (found != m_unfinished.end() && --found->second == 0) {
        m_unfinished.erase(found);
    }
}

void CCrawlScheduler::RunResource(Resource& resource) {
    // A resource that cannot be fetched is skipped as the walk skips it;
    // running out of memory ends the crawl, which Wait reports on the
    // walk's thread.
    const DWORD outOfMemory = OutOfMemoryIn([&] { FetchResource(resource); });
    // The body was read to its end, so the cache holds what the fetch
    // leaves there: from here on the walk may judge its URLs.
    resource.request.reset();
    {
        const MutexLock lock(m_mutex);
        --m_nBusy;
        RemoveUnfinished(resource.key);
        for (const std::uint64_t key : resource.hopKeys) {
            RemoveUnfinished(key);
        }
        // Answered at its own URL when no redirect led it elsewhere.
        Finish(resource, resource.hopKeys.empty());
        if (outOfMemory != 0) {
            m_dwOutOfMemory = outOfMemory;
        }
    }
    m_changed.notify_all();
}

CCrawlScheduler::Fetching& CCrawlScheduler::FetchingResource() {
    thread_local Fetching fetching;
    return fetching;
}

void CCrawlScheduler::FetchResource(Resource& resource) {
    if (resource.seq != 0 && !MaySend(resource)) {
        return;
    }
    const CConnectionSlots::Held connection(&m_slots);
    DWORD status = 0;
    CVELString headers;
    CVELString finalUrl;
    // A fetch redirected elsewhere will write the cache there too: from now
    // on the walk waits for it before it judges that URL.
    const auto onHead = [this, &resource](const CVELString& endedAt) {
        const std::uint64_t endKey = KeyHash(endedAt.GetData());
        const MutexLock lock(m_mutex);
        if (resource.seq != 0 && endKey != resource.key &&
            std::find(resource.hopKeys.begin(), resource.hopKeys.end(), endKey) ==
                resource.hopKeys.end()) {
            resource.hopKeys.push_back(endKey); // first: should it throw, nothing is counted
            AddUnfinished(endKey);
        }
    };
    struct Scope {
        Fetching& fetching;
        ~Scope() { fetching = {}; }
    } scope{FetchingResource()};
    if (m_bHoldsRedirects && resource.seq != 0) {
        scope.fetching = {this, &resource};
    }
    const FetchResult fetched = FetchResponse(*resource.request, resource.url, BodyUse::kDrop,
                                              status, headers, finalUrl, onHead);
    if (fetched != FetchResult::kNotSent && fetched != FetchResult::kNoResponse) {
        NoteResponse(resource.request->m_host, finalUrl, headers);
    }
}
