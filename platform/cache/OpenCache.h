// SPDX-License-Identifier: Apache-2.0
// The process's open cache: its place, the index connection, the batch of
// entries waiting to be written through it, and the thread that commits a batch
// nobody else commits in time. One per process, used under its mutex.
//
// Reports of a failed batch are made outside the mutex (they call the
// host's listeners); a count of those under way lets a caller wait until
// every report of an earlier commit has been made. Around a fork the batch
// is committed first, and a child leaves the parent's connection, thread
// and wait conditions alone.
#pragma once

#include "platform/cache/CacheIndex.h"
#include "platform/cache/EntryBatch.h"

#include <sys/types.h>

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

    std::mutex mutex;
    std::string root;
    std::unique_ptr<CacheIndex> index;
    EntryBatch batch;
    bool inherited = false; ///< set in a child of fork: the connection is the parent's
    bool ended = false;     ///< every later entry is committed alone

    /// Opens the index under `root` unless it is open there (committing the
    /// batch of the one it leaves). False, with the reason, when it cannot.
    /// An index no longer at its path (the cache folder removed, moved or
    /// replaced while in use) is left for the one there now: the entries
    /// waiting in its batch are reported lost, naming the folder, and the
    /// folder is made again when it can be.
    bool EnsureOpen(const std::string& cacheRoot, UrlCacheFailure& failure, EntryBatch::Owed& owed);

    /// Commits the open batch; false, with the reason, when it could not.
    bool CommitBatch(EntryBatch::Owed& owed, UrlCacheFailure& why);
    bool CommitBatch(EntryBatch::Owed& owed);
    /// Whether the open batch is to be committed now.
    bool BatchDue() const;
    /// An entry joined the batch (`fresh`: it opened it): the flusher will
    /// commit it in time.
    void WatchBatch(bool fresh);

    /// Makes `owed` with `lock` released, then takes it again.
    void Report(std::unique_lock<std::mutex>& lock, EntryBatch::Owed& owed);
    /// Waits, with `lock` held, until no report of an earlier commit is
    /// still being made.
    void WaitForReports(std::unique_lock<std::mutex>& lock);

    /// pthread_atfork's three steps.
    void BeforeFork();
    void AfterForkInParent();
    void AfterForkInChild();

  private:
    void RunFlusher();
    /// Whether the open index is still the file at its path.
    bool StillInPlace() const;

    dev_t m_indexDevice = 0;
    ino_t m_indexInode = 0;

    // On the heap: a fork child leaks them rather than destroy what only
    // the parent's threads wait on.
    std::unique_ptr<std::condition_variable> m_batchOpened;
    std::unique_ptr<std::condition_variable> m_reportsMade;
    std::unique_ptr<std::thread> m_flusher;
    int m_reporting = 0;
    bool m_stopping = false;
    EntryBatch::Owed m_forkOwed;
};

/// The process's one OpenCache.
OpenCache& TheCache();

} // namespace urlcache
