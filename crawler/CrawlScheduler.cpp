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
    // A slot given back by any fetch may let a resource or a held hop go.
    m_slots.OnFree([this] { static_cast<void>(OutOfMemoryIn([this] { StartFetches(); })); });
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
    // Pages under way that wait for the walk end unread; every resource
    // handed over is fetched before the crawl ends.
    KickWaitingPages();
    StartFetches();
    {
        MutexLock lock(m_mutex);
        while (m_nFetchingPages != 0 || m_nEndingPages != 0 || !m_resources.empty() ||
               m_nBusy != 0) {
            m_changed.wait(lock);
        }
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

void CCrawlScheduler::Hand(std::unique_ptr<CHttpRequest> request, const CVELString& url) {
    auto resource = std::make_shared<Resource>();
    resource->request = std::move(request);
    resource->url.Assign(url);
    resource->key = KeyHash(url.GetData());
    std::vector<ResourcePtr> letGo;
    {
        MutexLock lock(m_mutex);
        while (m_resources.size() >=
               kQueuedPerConnection * static_cast<std::size_t>(m_nConnections)) {
            m_changed.wait(lock);
        }
        AddUnfinished(resource->key);
        Register(*resource);
        letGo = LetGoHops();
        m_resources.push_back(std::move(resource));
    }
    KickAll(letGo);
    StartFetches();
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

CCrawlScheduler::Fetching& CCrawlScheduler::FetchingResource() {
    thread_local Fetching fetching;
    return fetching;
}
