#include "crawler/ResourcePool.h"

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

CResourcePool::CResourcePool(std::int32_t connections)
    : m_nConnections(std::clamp(connections, std::int32_t{1}, kMaxConnections)) {}

CResourcePool::~CResourcePool() {
    {
        const std::lock_guard lock(m_mutex);
        m_bStopping = true;
    }
    m_changed.notify_all();
    for (std::thread& worker : m_workers) {
        worker.join();
    }
}

BOOL CResourcePool::WasHanded(const char16_t* url) {
    {
        const std::lock_guard lock(m_mutex);
        for (const std::uint64_t key : m_failed) {
            m_handed.erase(key);
        }
        m_failed.clear();
    }
    return m_handed.contains(KeyHash(url)) ? TRUE : FALSE;
}

void CResourcePool::Hand(std::unique_ptr<CHttpRequest> request, const CVELString& url) {
    m_handed.insert(KeyHash(url.GetData()));
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
            Job job{std::move(request), CVELString(url)};
            Fetch(job);
            return;
        }
    }
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] {
        return m_queue.size() < kQueuedPerConnection * static_cast<std::size_t>(m_nConnections);
    });
    m_queue.push_back({std::move(request), CVELString(url)});
    lock.unlock();
    m_changed.notify_all();
}

void CResourcePool::Wait() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_queue.empty() && m_nBusy == 0; });
    if (m_dwOutOfMemory != 0) {
        SetLastError(m_dwOutOfMemory);
        throw std::bad_alloc();
    }
}

BOOL CResourcePool::Fetch(Job& job) {
    DWORD status = 0;
    CVELString headers;
    CVELString finalUrl;
    const FetchResult fetched =
        FetchResponse(*job.request, job.url, BodyUse::kDrop, status, headers, finalUrl);
    return fetched == FetchResult::kDone && status == 200 ? TRUE : FALSE;
}

void CResourcePool::Work() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_bStopping || !m_queue.empty(); });
            if (m_queue.empty()) {
                return; // stopping, and nothing left to fetch
            }
            job = std::move(m_queue.front());
            m_queue.pop_front();
            ++m_nBusy;
        }
        m_changed.notify_all(); // room in the queue
        // A resource that cannot be fetched is skipped as the walk skips
        // it, and may be asked for again; running out of memory ends the
        // crawl, which Wait reports on the walk's thread.
        BOOL fetched = FALSE;
        DWORD outOfMemory = 0;
        try {
            fetched = Fetch(job);
        } catch (CVELString*) {
            outOfMemory = GetLastError();
        } catch (CVELMemBuf*) {
            outOfMemory = GetLastError();
        } catch (const std::bad_alloc&) {
            outOfMemory = ERROR_NOT_ENOUGH_MEMORY;
        }
        const std::uint64_t key = KeyHash(job.url.GetData());
        job.request.reset();
        {
            const std::lock_guard lock(m_mutex);
            --m_nBusy;
            if (!fetched) {
                m_failed.push_back(key);
            }
            if (outOfMemory != 0) {
                m_dwOutOfMemory = outOfMemory;
            }
        }
        m_changed.notify_all();
    }
}
