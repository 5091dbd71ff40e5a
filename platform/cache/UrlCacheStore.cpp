// SPDX-License-Identifier: Apache-2.0
#include "platform/cache/UrlCacheStore.h"

#include "platform/cache/HeldReads.h"
#include "platform/cache/OpenCache.h"
#include "platform/kernel/LastError.h"

#include <cstdlib>
#include <mutex>

namespace urlcache {

namespace {

bool IsAbsolute(const char* path) {
    return path != nullptr && path[0] == '/';
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
/// batch, so that its own transaction is whole and alone; read work sees
/// the batch's waiting rows; entry work joins it, its rows kept in memory
/// (CacheIndex's staging), and the entry waits in it when `work` returns
/// true (else the batch is committed at once, and `kept` says whether that
/// worked).
bool RunLocked(Access access, const std::function<bool(CacheIndex&, const std::string&)>& work,
               std::u16string_view url, LateFailureReport* report, bool& kept,
               UrlCacheFailure* failure) {
    const std::string root = CacheRoot();
    UrlCacheFailure why;
    bool opened = false;
    if (root.empty()) {
        why = {{}, {}, ERROR_PATH_NOT_FOUND, u"neither XDG_CACHE_HOME nor HOME names a folder"};
    } else {
        OpenCache& cache = TheCache();
        MutexLock lock(cache.Mutex());
        EntryBatch::Owed owed;
        opened = cache.EnsureOpen(root, why, owed);
        if (opened) {
            if (access == Access::Write) {
                // Work that may write sees the file as it is now.
                cache.CommitBatchOrOwe(owed);
                EndHeldReads(cache.Index().Db());
            } else {
                cache.HoldReads();
            }
            const bool fresh = !cache.Batch().Open();
            const bool joined = access == Access::Entry && !cache.Ended();
            if (joined) {
                cache.Batch().Join();
            }
            cache.Index().SetStaging(joined);
            const bool done = work(cache.Index(), cache.Root());
            cache.Index().SetStaging(false);
            const bool waits = done && joined;
            if (waits) {
                cache.Batch().Add(std::u16string(url), std::move(*report));
            }
            if (joined && !waits) {
                // This entry is committed with its batch now, or lost with it.
                // A writer that failed by itself keeps its own reason, the
                // first cause.
                UrlCacheFailure batchWhy;
                kept = cache.CommitBatch(owed, batchWhy);
                if (!kept && failure != nullptr && failure->reason.empty()) {
                    *failure = batchWhy;
                }
            } else if (cache.BatchDue()) {
                cache.CommitBatchOrOwe(owed);
            } else if (waits) {
                cache.WatchBatch(fresh);
            }
        }
        cache.Report(owed);
    }
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

/// Commits the open batch and waits until every report of a failed one has
/// been made; `end` makes every later entry commit alone. False, with the
/// reason in `why`, when the batch could not be committed.
bool CommitAndWait(bool end, UrlCacheFailure& why) {
    OpenCache& cache = TheCache();
    MutexLock lock(cache.Mutex());
    if (cache.Inherited()) {
        return true;
    }
    if (end) {
        cache.End();
    }
    EntryBatch::Owed owed;
    const bool committed = cache.CommitBatch(owed, why);
    cache.Report(owed);
    // A report's own callback that closes a session would otherwise wait for
    // the report it is part of.
    if (!MakingReports()) {
        cache.WaitForReports(lock);
    }
    return committed;
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
    UrlCacheFailure ignored; // each entry's own report carries it
    CommitAndWait(false, ignored);
}

bool EndEntryBatches(UrlCacheFailure* failure) {
    UrlCacheFailure why;
    const bool committed = CommitAndWait(true, why);
    if (!committed && failure != nullptr) {
        *failure = why;
    }
    return committed;
}

} // namespace urlcache
