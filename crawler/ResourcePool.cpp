// SPDX-License-Identifier: Apache-2.0
#include "crawler/ResourcePool.h"

#include "crawler/AheadFetcher.h"
#include "crawler/ConnectionSlots.h"
#include "crawler/OutOfMemory.h"
#include "crawler/PageFetch.h"
#include "net/HttpRequest.h"
#include "platform/cache/CacheKey.h"
#include "platform/kernel/LastError.h"

#include <algorithm>
#include <new>
#include <string_view>
#include <system_error>

namespace {

/// Jobs waiting per connection before the walk waits for the pool: enough
/// to keep every connection busy, few enough that memory stays flat.
constexpr std::size_t kQueuedPerConnection = 4;

/// 64-bit FNV-1a of the cache key: two different keys meeting by chance
/// (about 2^-64 per pair) would cost one resource its fetch.
std::uint64_t KeyHash(const char16_t* url) {
    const std::u16string key = urlcache::CacheKeyOf(std::u16string_view(url));
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char16_t unit : key) {
        hash = (hash ^ unit) * 1099511628211ULL;
    }
    return hash;
}

} // namespace

CResourcePool::CResourcePool(std::int32_t connections, CConnectionSlots* slots)
    : m_nConnections(std::clamp(connections, std::int32_t{1}, kMaxConnections)), m_pSlots(slots) {}

CResourcePool::~CResourcePool() {
    {
        const MutexLock lock(m_mutex);
        m_bStopping = true;
    }
    m_changed.notify_all();
    for (std::thread& worker : m_workers) {
        worker.join();
    }
}

void CResourcePool::AwaitFetchesOf(const char16_t* url) {
    const std::uint64_t key = KeyHash(url);
    MutexLock lock(m_mutex);
    while (m_unfinished.contains(key)) {
        m_changed.wait(lock);
    }
}

void CResourcePool::AddUnfinished(std::uint64_t key) {
    ++m_unfinished[key];
}

void CResourcePool::RemoveUnfinished(std::uint64_t key) {
    const auto found = m_unfinished.find(key);
    if (found != m_unfinished.end() && --found->second == 0) {
        m_unfinished.erase(found);
    }
}

void CResourcePool::Hand(std::unique_ptr<CHttpRequest> request, const CVELString& url) {
    if (m_workers.empty()) {
        // Threads the system refuses are done without; with none at all
        // the walk fetches the resource itself, as with one connection.
        try {
            for (std::int32_t i = 0; i < m_nConnections; ++i) {
                m_workers.emplace_back([this] { Work(); });
            }
        } catch (const std::system_error&) {
        }
        if (m_workers.empty()) {
            const CConnectionSlots::Held connection(m_pSlots);
            DWORD status = 0;
            CVELString headers;
            CVELString finalUrl;
            FetchResponse(*request, url, BodyUse::kDrop, status, headers, finalUrl);
            return;
        }
    }
    const std::uint64_t key = KeyHash(url.GetData());
    {
        MutexLock lock(m_mutex);
        while (m_queue.size() >= kQueuedPerConnection * static_cast<std::size_t>(m_nConnections)) {
            m_changed.wait(lock);
        }
        AddUnfinished(key);
        m_queue.push_back({std::move(request), CVELString(url), key, key});
        m_nQueued.store(m_queue.size(), std::memory_order_relaxed);
    }
    m_changed.notify_all();
    if (m_pAhead != nullptr) {
        m_pAhead->WakeHelpers();
    }
}

void CResourcePool::Wait() {
    MutexLock lock(m_mutex);
    while (!m_queue.empty() || m_nBusy != 0) {
        m_changed.wait(lock);
    }
    if (m_dwOutOfMemory != 0) {
        SetLastError(m_dwOutOfMemory);
        throw std::bad_alloc();
    }
}

void CResourcePool::Fetch(Job& job) {
    DWORD status = 0;
    CVELString headers;
    CVELString finalUrl;
    // A fetch redirected elsewhere will write the cache there too: from now
    // on the walk waits for it before it judges that URL.
    const auto onHead = [this, &job](const CVELString& endedAt) {
        const std::uint64_t endKey = KeyHash(endedAt.GetData());
        if (endKey != job.key) {
            const MutexLock lock(m_mutex);
            AddUnfinished(endKey);
            job.endKey = endKey;
        }
    };
    const CConnectionSlots::Held connection(m_pSlots);
    const FetchResult fetched =
        FetchResponse(*job.request, job.url, BodyUse::kDrop, status, headers, finalUrl, onHead);
    if (m_pAhead != nullptr && fetched != FetchResult::kNotSent &&
        fetched != FetchResult::kNoResponse) {
        m_pAhead->NoteResponse(job.request->m_host, finalUrl, headers);
    }
}

CResourcePool::Job CResourcePool::TakeJob() {
    Job job = std::move(m_queue.front());
    m_queue.pop_front();
    m_nQueued.store(m_queue.size(), std::memory_order_relaxed);
    ++m_nBusy;
    return job;
}

void CResourcePool::Run(Job& job) {
    m_changed.notify_all(); // room in the queue
    // A resource that cannot be fetched is skipped as the walk skips it;
    // running out of memory ends the crawl, which Wait reports on the
    // walk's thread.
    const DWORD outOfMemory = OutOfMemoryIn([&] { Fetch(job); });
    // The body was read to its end, so the cache holds what the fetch
    // leaves there: from here on the walk may judge its URLs.
    job.request.reset();
    {
        const MutexLock lock(m_mutex);
        --m_nBusy;
        RemoveUnfinished(job.key);
        if (job.endKey != job.key) {
            RemoveUnfinished(job.endKey);
        }
        if (outOfMemory != 0) {
            m_dwOutOfMemory = outOfMemory;
        }
    }
    m_changed.notify_all();
}

bool CResourcePool::HelpOnce() {
    Job job;
    {
        const MutexLock lock(m_mutex);
        if (m_queue.empty()) {
            return false;
        }
        job = TakeJob();
    }
    Run(job);
    return true;
}

void CResourcePool::Work() {
    for (;;) {
        Job job;
        {
            MutexLock lock(m_mutex);
            while (!m_bStopping && m_queue.empty()) {
                m_changed.wait(lock);
            }
            if (m_queue.empty()) {
                return; // stopping, and nothing left to fetch
            }
            job = TakeJob();
        }
        Run(job);
    }
}
