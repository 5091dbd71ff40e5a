// A few connections that fetch a crawl's embedded resources on other hosts
// while the walk goes on.
//
// Such resources are never walked, so nothing the walk decides waits for
// them: the walk judges each one in document order as always, then hands
// the prepared request over instead of fetching it itself. The pool's
// workers read each body through and drop it; the internet library keeps
// it in its cache on the way. A resource handed over counts as fetched for
// the rest of the crawl, as a fetched one does through the cache, unless its
// fetch fails: then a later reference asks for it again, as it would of a
// cache that kept nothing. The walk's own requests (pages, and anything on
// the start host) stay on its thread, one at a time and in order.
#pragma once

#include "crawler/CrawlReport.h"
#include "foundation/VELString.h"
#include "platform/kernel/WinTypes.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <vector>

class CHttpRequest;

class CResourcePool {
  public:
    /// A pool of `connections` workers (1 to kMaxConnections), started on
    /// the first hand-over.
    explicit CResourcePool(std::int32_t connections);
    /// Waits for every fetch handed over, then ends the workers.
    ~CResourcePool();
    CResourcePool(const CResourcePool&) = delete;
    CResourcePool& operator=(const CResourcePool&) = delete;

    /// TRUE when a resource under the cache key of `url` was handed over
    /// and its fetch has not failed.
    BOOL WasHanded(const char16_t* url);

    /// Queues `request` (judged, with its flags and headers set) for
    /// fetching; waits while every worker is busy and the queue is full.
    void Hand(std::unique_ptr<CHttpRequest> request, const CVELString& url);

    /// Returns once every fetch handed over so far has ended. A fetch that
    /// ran out of memory fails the crawl as it would on the walk's thread:
    /// Wait then throws std::bad_alloc with the reason in the last error.
    void Wait();

  private:
    struct Job {
        std::unique_ptr<CHttpRequest> request;
        CVELString url;
    };
    void Work();
    /// Fetches one job; FALSE when it did not end with a whole 200 response.
    BOOL Fetch(Job& job);

    const std::int32_t m_nConnections;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job> m_queue;
    std::int32_t m_nBusy = 0;
    bool m_bStopping = false;
    std::vector<std::thread> m_workers;
    /// Hashes of the cache keys handed over; the walk's thread alone uses it.
    std::unordered_set<std::uint64_t> m_handed;
    /// Hashes of the keys whose fetch failed, until the walk's thread takes
    /// them back out of m_handed. Guarded by m_mutex.
    std::vector<std::uint64_t> m_failed;
    /// The last error of a fetch that ran out of memory, or 0.
    DWORD m_dwOutOfMemory = 0;
};
