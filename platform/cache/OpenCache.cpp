// SPDX-License-Identifier: Apache-2.0
#include "platform/cache/OpenCache.h"

#include "platform/cache/ContentFiles.h"
#include "platform/cache/ContentSweep.h"
#include "platform/cache/HeldReads.h"
#include "platform/cache/RecentBodies.h"

#include "platform/kernel/LastError.h"
#include "platform/text/Utf8.h"

#include <pthread.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace urlcache {

namespace {

/// Lets go of what a fork child must not destroy (the parent's connection,
/// its thread and what that waits on) yet keeps it reachable, so that a
/// leak checker does not count it. The list itself is never destroyed.
template <class T> void Abandon(std::unique_ptr<T>& owned) {
    static std::vector<void*>* const kept = new std::vector<void*>();
    if (owned) {
        kept->push_back(owned.release());
    }
}

// The lock is taken before a fork and let go after it, in other functions:
// beyond what the analysis follows.
void BeforeFork() DRAVIK_NO_THREAD_SAFETY_ANALYSIS {
    TheCache().BeforeFork();
}
void AfterForkInParent() DRAVIK_NO_THREAD_SAFETY_ANALYSIS {
    TheCache().AfterForkInParent();
}
void AfterForkInChild() DRAVIK_NO_THREAD_SAFETY_ANALYSIS {
    TheCache().AfterForkInChild();
}

} // namespace

// A batch that fails at exit forgets the bodies this process kept: touching
// them first makes them outlive this (statics end in reverse order).
OpenCache::OpenCache()
    : m_batchOpened(std::make_unique<std::condition_variable_any>()),
      m_reportsMade(std::make_unique<std::condition_variable_any>()) {
    ForgetRecentBodies();
}

OpenCache::~OpenCache() {
    if (m_inherited) {
        // A child of fork: all of it is the parent's.
        Abandon(m_index);
        Abandon(m_flusher);
        Abandon(m_batchOpened);
        Abandon(m_reportsMade);
        return;
    }
    EntryBatch::Owed owed;
    {
        const MutexLock lock(m_mutex);
        m_stopping = true;
        m_ended = true;
    }
    m_batchOpened->notify_all();
    if (m_flusher) {
        m_flusher->join();
    }
    {
        const MutexLock lock(m_mutex);
        CommitBatchOrOwe(owed);
    }
    // The exiting thread's own storage may be gone: no "latest failure".
    MakeReports(owed, false);
}

bool OpenCache::EnsureOpen(const std::string& cacheRoot, UrlCacheFailure& failure,
                           EntryBatch::Owed& owed) {
    if (m_inherited) {
        // The parent's connection belongs to the parent: closing it here
        // could disturb the parent's locks, so the child lets it go unused,
        // with the parent's thread and what that thread waits on.
        Abandon(m_index);
        Abandon(m_flusher);
        Abandon(m_batchOpened);
        Abandon(m_reportsMade);
        m_batchOpened = std::make_unique<std::condition_variable_any>();
        m_reportsMade = std::make_unique<std::condition_variable_any>();
        m_batch = EntryBatch();
        m_reporting = 0;
        m_root.clear();
        m_inherited = false;
    }
    if (m_index && m_root == cacheRoot) {
        if (StillInPlace()) {
            return true;
        }
        m_batch.Drop(*m_index, FolderGone(), owed);
    }
    CommitBatchOrOwe(owed);
    m_index.reset();
    // Both content folders are made before any writer of this process
    // runs, so that none can find one without the other.
    if (!MakeDirectories(cacheRoot) || !MakeContentFolders(cacheRoot)) {
        failure = FailureFromErrno(cacheRoot, errno);
        return false;
    }
    SweepStaleTemporaries(cacheRoot);
    m_index = CacheIndex::Open(cacheRoot + "/index.sqlite", &failure);
    m_root = cacheRoot;
    if (!m_index) {
        return false;
    }
    struct stat info {};
    if (::stat((m_root + "/index.sqlite").c_str(), &info) == 0) {
        m_indexDevice = info.st_dev;
        m_indexInode = info.st_ino;
    }
    // Tidying only: files a sweep leaves are taken by the next one.
    static_cast<void>(SweepUnnamedContent(*m_index, cacheRoot, false));
    return true;
}

bool OpenCache::CommitBatch(EntryBatch::Owed& owed, UrlCacheFailure& why) {
    if (!m_index || !m_batch.Open()) {
        return true;
    }
    // Rows written into an index no longer at its path would go into a
    // removed file without a word: they are reported lost instead.
    if (!StillInPlace()) {
        why = FolderGone();
        m_batch.Drop(*m_index, why, owed);
        return false;
    }
    return m_batch.Commit(*m_index, owed, why);
}

void OpenCache::CommitBatchOrOwe(EntryBatch::Owed& owed) {
    UrlCacheFailure why;
    static_cast<void>(CommitBatch(owed, why)); // its failures are in `owed`
}

bool OpenCache::BatchDue() const {
    return m_batch.Due(m_index ? m_index->WaitingBytes() : 0);
}

void OpenCache::WatchBatch(bool fresh) {
    if (!m_flusher || fresh) {
        WakeFlusher();
    }
}

void OpenCache::HoldReads() {
    sqlite3* db = m_index->Db();
    const auto now = std::chrono::steady_clock::now();
    if (ReadsHeld(db)) {
        if (now - m_readsSince < kHoldReads) {
            return;
        }
        EndHeldReads(db);
    }
    if (urlcache::HoldReads(db)) {
        m_readsSince = now;
        WakeFlusher();
    }
}

void OpenCache::WakeFlusher() {
    if (!m_flusher) {
        m_flusher = std::make_unique<std::thread>([this] { RunFlusher(); });
    } else {
        m_batchOpened->notify_one();
    }
}

void OpenCache::EndStaleReads() {
    if (m_index && ReadsHeld(m_index->Db()) &&
        std::chrono::steady_clock::now() - m_readsSince >= kHoldReads) {
        EndHeldReads(m_index->Db());
    }
}

void OpenCache::RunFlusher() {
    MutexLock lock(m_mutex);
    while (!m_stopping) {
        const bool reads = m_index && ReadsHeld(m_index->Db());
        if (!m_batch.Open() && !reads) {
            m_batchOpened->wait(lock);
            continue;
        }
        auto deadline = std::chrono::steady_clock::time_point::max();
        if (m_batch.Open()) {
            deadline = m_batch.Deadline();
        }
        if (reads) {
            deadline = std::min(deadline, m_readsSince + kHoldReads);
        }
        if (m_batchOpened->wait_until(lock, deadline) == std::cv_status::timeout) {
            EndStaleReads();
            if (BatchDue()) {
                EntryBatch::Owed owed;
                CommitBatchOrOwe(owed);
                Report(owed);
            }
        }
    }
}

void OpenCache::Report(EntryBatch::Owed& owed) {
    if (owed.empty()) {
        return;
    }
    ++m_reporting;
    // The caller's MutexLock stays the holder: the lock is back on return.
    m_mutex.unlock();
    MakeReports(owed);
    m_mutex.lock();
    --m_reporting;
    m_reportsMade->notify_all();
}

void OpenCache::WaitForReports(MutexLock& lock) {
    while (m_reporting != 0) {
        m_reportsMade->wait(lock);
    }
}

void OpenCache::BeforeFork() {
    m_mutex.lock();
    // The child must not inherit entries of the parent's waiting to be
    // written: they would be written twice, or lost with the child.
    if (!m_inherited) {
        CommitBatchOrOwe(m_forkOwed);
    }
}

void OpenCache::AfterForkInParent() {
    EntryBatch::Owed owed;
    owed.swap(m_forkOwed);
    m_mutex.unlock();
    MakeReports(owed);
}

void OpenCache::AfterForkInChild() {
    m_inherited = true;
    m_forkOwed.clear();
    m_mutex.unlock();
}

UrlCacheFailure OpenCache::FolderGone() const {
    return {{},
            Utf8ToUtf16(m_root),
            ERROR_PATH_NOT_FOUND,
            u"the cache folder was removed or replaced while in use"};
}

bool OpenCache::StillInPlace() const {
    // One stat per cache call: a crawl makes a few per resource, and each
    // costs less than a microsecond beside the network's milliseconds.
    struct stat info {};
    return ::stat((m_root + "/index.sqlite").c_str(), &info) == 0 && info.st_dev == m_indexDevice &&
           info.st_ino == m_indexInode;
}

OpenCache& TheCache() {
    static OpenCache cache;
    // Told of a fork by the C library rather than by asking for the process
    // id on every call, which costs a system call per cache operation.
    static const bool watching = [] {
        return ::pthread_atfork(BeforeFork, AfterForkInParent, AfterForkInChild) == 0;
    }();
    static_cast<void>(watching);
    return cache;
}

} // namespace urlcache
