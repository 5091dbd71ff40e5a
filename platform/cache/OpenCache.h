// SPDX-License-Identifier: Apache-2.0
// The process's open cache: its place, the index connection, the batch of
// entries waiting to be written through it, and the thread that commits a batch
// nobody else commits in time. One per process, used under its lock.
//
// Reports of a failed batch are made outside the mutex (they call the
// host's listeners); a count of those under way lets a caller wait until
// every report of an earlier commit has been made. Around a fork the batch
// is committed first, and a child leaves the parent's connection, thread
// and wait conditions alone.
#pragma once

#include "platform/cache/CacheIndex.h"
#include "platform/cache/EntryBatch.h"
#include "platform/kernel/ThreadSafety.h"

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace urlcache {

class OpenCache {
  public:
    OpenCache();
    ~OpenCache();
    OpenCache(const OpenCache&) = delete;
    OpenCache& operator=(const OpenCache&) = delete;

    /// The lock every use holds: `MutexLock lock(cache.Mutex())`. The
    /// fields below are reached only with it held (clang checks).
    AnnotatedMutex& Mutex() DRAVIK_RETURN_CAPABILITY(m_mutex) { return m_mutex; }

    /// The folder the index is open under.
    const std::string& Root() const DRAVIK_REQUIRES(m_mutex) { return m_root; }
    /// The open index; only after EnsureOpen succeeded.
    CacheIndex& Index() DRAVIK_REQUIRES(m_mutex) { return *m_index; }
    EntryBatch& Batch() DRAVIK_REQUIRES(m_mutex) { return m_batch; }
    /// Set in a child of fork: the connection is the parent's.
    bool Inherited() const DRAVIK_REQUIRES(m_mutex) { return m_inherited; }
    /// Whether every later entry is committed alone.
    bool Ended() const DRAVIK_REQUIRES(m_mutex) { return m_ended; }
    void End() DRAVIK_REQUIRES(m_mutex) { m_ended = true; }

    /// Opens the index under `root` unless it is open there (committing the
    /// batch of the one it leaves). False, with the reason, when it cannot.
    /// An index no longer at its path (the cache folder removed, moved or
    /// replaced while in use) is left for the one there now: the entries
    /// waiting in its batch are reported lost, naming the folder, and the
    /// folder is made again when it can be.
    [[nodiscard]] bool EnsureOpen(const std::string& cacheRoot, UrlCacheFailure& failure,
                                  EntryBatch::Owed& owed) DRAVIK_REQUIRES(m_mutex);

    /// Commits the open batch; false, with the reason, when it could not.
    /// Either way, the report of every entry not kept is added to `owed`.
    [[nodiscard]] bool CommitBatch(EntryBatch::Owed& owed, UrlCacheFailure& why)
        DRAVIK_REQUIRES(m_mutex);
    /// The same, for a caller that has nothing to add to the reports owed.
    void CommitBatchOrOwe(EntryBatch::Owed& owed) DRAVIK_REQUIRES(m_mutex);
    /// Whether the open batch is to be committed now.
    bool BatchDue() const DRAVIK_REQUIRES(m_mutex);
    /// An entry joined the batch (`fresh`: it opened it): the flusher will
    /// commit it in time.
    void WatchBatch(bool fresh) DRAVIK_REQUIRES(m_mutex);

    /// How long reads are held on the index at most (HeldReads.h): what
    /// other processes write is seen this much later at the latest.
    static constexpr std::chrono::milliseconds kHoldReads{50};
    /// Holds reads on the open index for the look-ups that follow; the
    /// flusher ends them kHoldReads after they began.
    void HoldReads() DRAVIK_REQUIRES(m_mutex);

    /// Makes `owed` with the lock let go, then takes it again.
    void Report(EntryBatch::Owed& owed) DRAVIK_REQUIRES(m_mutex);
    /// Waits, with `lock` held, until no report of an earlier commit is
    /// still being made.
    void WaitForReports(MutexLock& lock) DRAVIK_REQUIRES(m_mutex);

    /// pthread_atfork's three steps: the lock is held across the fork.
    void BeforeFork() DRAVIK_ACQUIRE(m_mutex);
    void AfterForkInParent() DRAVIK_RELEASE(m_mutex);
    void AfterForkInChild() DRAVIK_RELEASE(m_mutex);

  private:
    void RunFlusher() DRAVIK_EXCLUDES(m_mutex);
    /// Whether the open index is still the file at its path.
    bool StillInPlace() const DRAVIK_REQUIRES(m_mutex);
    /// Starts the flusher, or tells it that there is something new to time.
    void WakeFlusher() DRAVIK_REQUIRES(m_mutex);
    /// Ends the held reads once they are kHoldReads old.
    void EndStaleReads() DRAVIK_REQUIRES(m_mutex);
    /// Why entries waiting for an index no longer in place are lost.
    UrlCacheFailure FolderGone() const DRAVIK_REQUIRES(m_mutex);

    AnnotatedMutex m_mutex;
    std::string m_root DRAVIK_GUARDED_BY(m_mutex);
    std::unique_ptr<CacheIndex> m_index DRAVIK_GUARDED_BY(m_mutex);
    EntryBatch m_batch DRAVIK_GUARDED_BY(m_mutex);
    bool m_inherited DRAVIK_GUARDED_BY(m_mutex) = false;
    bool m_ended DRAVIK_GUARDED_BY(m_mutex) = false;
    std::chrono::steady_clock::time_point m_readsSince DRAVIK_GUARDED_BY(m_mutex);
    dev_t m_indexDevice DRAVIK_GUARDED_BY(m_mutex) = 0;
    ino_t m_indexInode DRAVIK_GUARDED_BY(m_mutex) = 0;

    // On the heap: a fork child leaks them rather than destroy what only
    // the parent's threads wait on.
    std::unique_ptr<std::condition_variable_any> m_batchOpened;
    std::unique_ptr<std::condition_variable_any> m_reportsMade;
    std::unique_ptr<std::thread> m_flusher DRAVIK_GUARDED_BY(m_mutex);
    int m_reporting DRAVIK_GUARDED_BY(m_mutex) = 0;
    bool m_stopping DRAVIK_GUARDED_BY(m_mutex) = false;
    EntryBatch::Owed m_forkOwed DRAVIK_GUARDED_BY(m_mutex);
};

/// The process's one OpenCache.
OpenCache& TheCache();

} // namespace urlcache
