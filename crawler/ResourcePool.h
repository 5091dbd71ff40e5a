// SPDX-License-Identifier: Apache-2.0
// A few connections that fetch a crawl's embedded resources on other hosts
// while the walk goes on.
//
// Such resources are never walked: the walk judges each one in document
// order as always, then hands the prepared request over instead of
// fetching it itself, when its host may get requests early (it answered
// without setting a cookie and never set one: CAheadFetcher::MayGoEarly). The pool's workers read
// each body through and drop it; the internet library keeps it in its cache on the way. Before the
// walk judges a URL whose fetch is still under way here (handed over under
// the same cache key, or known from its answer to end there after
// redirects), it waits for that fetch to end, so the cache then answers as
// it would have with one connection: kept, not kept, failed or redirected
// alike. One case is left to timing: a URL met while an earlier fetch that
// will be redirected to it has not had its answer yet. Waiting for that
// would make every fetch wait for the answer to the one before it. The
// walk's own requests (pages, and anything on the start host) stay on its
// thread, one at a time and in order.
#pragma once

#include "crawler/CrawlReport.h"
#include "foundation/VELString.h"
#include "platform/kernel/WinTypes.h"

#include "platform/kernel/ThreadSafety.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

class CAheadFetcher;
class CHttpRequest;

class CResourcePool {
  public:
    /// A pool of `connections` workers (1 to kMaxConnections), started on
    /// the first hand-over; each fetch holds one of `slots` when given.
    explicit CResourcePool(std::int32_t connections, class CConnectionSlots* slots = nullptr);
    /// Waits for every fetch handed over, then ends the workers.
    ~CResourcePool();
    CResourcePool(const CResourcePool&) = delete;
    CResourcePool& operator=(const CResourcePool&) = delete;

    /// Returns once no fetch handed over is for the cache key of `url` or
    /// is known to end at it, so that the cache holds what those fetches
    /// left there.
    void AwaitFetchesOf(const char16_t* url);

    /// Queues `request` (judged, with its flags and headers set) for
    /// fetching; waits while every worker is busy and the queue is full.
    void Hand(std::unique_ptr<CHttpRequest> request, const CVELString& url);

    /// Tells `ahead` of the head of every response the pool reads, and
    /// wakes its idle connections when a fetch is queued here.
    void HearResponses(CAheadFetcher* ahead) { m_pAhead = ahead; }

    /// Whether a handed-over fetch waits for a connection. Safe from any
    /// thread without a lock; a hint that HelpOnce then settles.
    bool HasQueued() const { return m_nQueued.load(std::memory_order_relaxed) != 0; }
    /// Fetches one queued resource on the calling thread, as a worker
    /// would; false when none was queued. Lets connections that have no
    /// page to fetch ahead take resources while the walk finds more pages.
    bool HelpOnce();

    /// Returns once every fetch handed over so far has ended. A fetch that
    /// ran out of memory fails the crawl as it would on the walk's thread:
    /// Wait then throws std::bad_alloc with the reason in the last error.
    void Wait();

  private:
    struct Job {
        std::unique_ptr<CHttpRequest> request;
        CVELString url;
        std::uint64_t key = 0;    // of the URL handed over
        std::uint64_t endKey = 0; // of the URL its redirects ended at, once known
    };
    void Work();
    /// Takes the first queued job, counted busy; m_mutex held.
    Job TakeJob() DRAVIK_REQUIRES(m_mutex);
    /// Fetches a taken job and counts it done.
    void Run(Job& job);
    /// Fetches one job, noting where it ends as soon as that is known.
    void Fetch(Job& job);
    /// Counts one more or one fewer unfinished fetch under `key`.
    void AddUnfinished(std::uint64_t key) DRAVIK_REQUIRES(m_mutex);
    void RemoveUnfinished(std::uint64_t key) DRAVIK_REQUIRES(m_mutex);

    const std::int32_t m_nConnections;
    class CConnectionSlots* const m_pSlots;
    AnnotatedMutex m_mutex;
    std::condition_variable_any m_changed;
    std::deque<Job> m_queue DRAVIK_GUARDED_BY(m_mutex);
    std::atomic<std::size_t> m_nQueued{0}; // m_queue's size, written under m_mutex
    std::int32_t m_nBusy DRAVIK_GUARDED_BY(m_mutex) = 0;
    bool m_bStopping DRAVIK_GUARDED_BY(m_mutex) = false;
    std::vector<std::thread> m_workers; // the walk's thread alone
    /// Unfinished fetches by the hash of a cache key they will write: the
    /// key handed over and, once the head is read, the one redirects ended
    /// at.
    std::unordered_map<std::uint64_t, std::int32_t> m_unfinished DRAVIK_GUARDED_BY(m_mutex);
    CAheadFetcher* m_pAhead = nullptr;
    /// The last error of a fetch that ran out of memory, or 0.
    DWORD m_dwOutOfMemory DRAVIK_GUARDED_BY(m_mutex) = 0;
};
