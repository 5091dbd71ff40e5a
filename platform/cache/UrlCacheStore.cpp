#include "platform/cache/UrlCacheStore.h"

#include "platform/cache/ContentFiles.h"
#include "platform/cache/RecentBodies.h"
#include "platform/kernel/LastError.h"

#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

namespace urlcache {

namespace {

struct OpenCache {
    std::mutex mutex;
    std::string root;
    bool inherited = false; // set in a child of fork: the connection is the parent's
    std::unique_ptr<CacheIndex> index;
    EntryBatch batch;
    // Commits a batch that nothing else commits in time; started with the
    // first batch.
    std::condition_variable batchOpened;
    std::unique_ptr<std::thread> flusher;
    bool stopping = false;

    // A batch that fails at exit forgets the bodies this process kept:
    // touching them first makes them outlive this (statics end in reverse).
    OpenCache() { ForgetRecentBodies(); }

    /// Commits the open batch; false, with the reason, when it could not.
    bool CommitBatch(EntryBatch::Owed& owed, UrlCacheFailure& why) {
        return !index || batch.Commit(index->Db(), root + "/index.sqlite", owed, why);
    }
    bool CommitBatch(EntryBatch::Owed& owed) {
        UrlCacheFailure why;
        return CommitBatch(owed, why);
    }
    void RunFlusher();
    ~OpenCache();
};

void OpenCache::RunFlusher() {
    std::unique_lock lock(mutex);
    while (!stopping) {
        if (!batch.Open()) {
            batchOpened.wait(lock);
            continue;
        }
        if (batchOpened.wait_until(lock, batch.Deadline()) == std::cv_status::timeout &&
            batch.Due()) {
            EntryBatch::Owed owed;
            CommitBatch(owed);
            lock.unlock();
            MakeReports(owed);
            lock.lock();
        }
    }
}

OpenCache::~OpenCache() {
    {
        const std::lock_guard lock(mutex);
        stopping = true;
    }
    batchOpened.notify_all();
    if (flusher && inherited) {
        // The thread was the parent's; the child has only its record.
        static_cast<void>(flusher.release());
    } else if (flusher) {
        flusher->join();
    }
    if (!inherited) {
        EntryBatch::Owed owed;
        CommitBatch(owed);
        MakeReports(owed);
    }
}

OpenCache& TheCache() {
    static OpenCache cache;
    // Told of a fork by the C library rather than by asking for the process
    // id on every call, which costs a system call per cache operation.
    static const bool watching = [] {
        return ::pthread_atfork(nullptr, nullptr, [] { TheCache().inherited = true; }) == 0;
    }();
    static_cast<void>(watching);
    return cache;
}

bool IsAbsolute(const char* path) {
    return path != nullptr && path[0] == '/';
}

bool EnsureOpen(OpenCache& cache, const std::string& root, UrlCacheFailure& failure,
                EntryBatch::Owed& owed) {
    if (cache.inherited) {
        // The parent's connection belongs to the parent: closing it here
        // could disturb the parent's locks, so the child lets it go unused,
        // with the parent's batch and its flusher (a thread only the parent
        // has).
        static_cast<void>(cache.index.release());
        static_cast<void>(cache.flusher.release());
        cache.batch = EntryBatch();
        cache.root.clear();
        cache.inherited = false;
    }
    if (cache.index && cache.root == root) {
        return true;
    }
    cache.CommitBatch(owed);
    cache.index.reset();
    if (!MakeDirectories(root)) {
        failure = FailureFromErrno(root, errno);
        return false;
    }
    SweepStaleTemporaries(root);
    cache.index = CacheIndex::Open(root + "/index.sqlite", &failure);
    cache.root = root;
    return cache.index != nullptr;
}

} // namespace

std::string CacheRoot() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (IsAbsolute(xdg)) {
        return std::string(xdg) + "/dravik";
    }
    const char* home = std::getenv("HOME");
    if (IsAbsolute(home)) {
        return std::string(home) + "/.cache/dravik";
    }
    return {};
}

namespace {

enum class Access { Write, Read, Entry };

/// Runs `work` under the cache's lock. Write work first commits the open
/// batch, so that its own transaction is whole and alone; read work runs
/// inside it; entry work joins it, and the entry waits in it when `work`
/// returns true (else the batch is committed at once, and `kept` says
/// whether that worked).
bool RunLocked(Access access, const std::function<bool(CacheIndex&, const std::string&)>& work,
               std::u16string_view url, LateFailureReport* report, bool& kept,
               UrlCacheFailure* failure) {
    const std::string root = CacheRoot();
    UrlCacheFailure why;
    bool opened = false;
    EntryBatch::Owed owed;
    if (root.empty()) {
        why = {{}, {}, ERROR_PATH_NOT_FOUND, u"neither XDG_CACHE_HOME nor HOME names a folder"};
    } else {
        OpenCache& cache = TheCache();
        const std::lock_guard lock(cache.mutex);
        opened = EnsureOpen(cache, root, why, owed);
        if (opened && access == Access::Write) {
            cache.CommitBatch(owed);
        }
        const bool fresh = !cache.batch.Open();
        const bool joined =
            opened && access == Access::Entry && cache.batch.Join(cache.index->Db());
        const bool waits = opened && work(*cache.index, cache.root) && joined;
        if (waits) {
            cache.batch.Add(std::u16string(url), std::move(*report));
        }
        if (joined && !waits) {
            kept = cache.CommitBatch(owed, why);
            if (!kept && failure != nullptr) {
                *failure = why;
            }
        } else if (cache.batch.Due()) {
            cache.CommitBatch(owed);
        } else if (waits && !cache.flusher) {
            cache.flusher = std::make_unique<std::thread>([&cache] { cache.RunFlusher(); });
        } else if (waits && fresh) {
            cache.batchOpened.notify_one();
        }
    }
    MakeReports(owed);
    if (!opened) {
        RememberFailure(why);
        if (failure != nullptr) {
            *failure = why;
        }
    }
    return opened;
}

bool Run(Access access, const std::function<void(CacheIndex&, const std::string&)>& work,
         UrlCacheFailure* failure) {
    bool kept = true;
    return RunLocked(
        access,
        [&work](CacheIndex& index, const std::string& root) {
            work(index, root);
            return false;
        },
        {}, nullptr, kept, failure);
}

} // namespace

bool WithUrlCache(const std::function<void(CacheIndex& index, const std::string& root)>& work,
                  UrlCacheFailure* failure) {
    return Run(Access::Write, work, failure);
}

bool WithUrlCacheReading(
    const std::function<void(CacheIndex& index, const std::string& root)>& work,
    UrlCacheFailure* failure) {
    return Run(Access::Read, work, failure);
}

bool WithUrlCacheEntry(const std::function<bool(CacheIndex& index, const std::string& root)>& work,
                       std::u16string_view url, LateFailureReport report, bool& kept,
                       UrlCacheFailure* failure) {
    kept = true;
    return RunLocked(Access::Entry, work, url, &report, kept, failure);
}

void CommitBatchedEntries() {
    OpenCache& cache = TheCache();
    EntryBatch::Owed owed;
    {
        const std::lock_guard lock(cache.mutex);
        if (!cache.inherited) {
            cache.CommitBatch(owed);
        }
    }
    MakeReports(owed);
}

} // namespace urlcache
