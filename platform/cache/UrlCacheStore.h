// SPDX-License-Identifier: Apache-2.0
// The process's way into the URL cache: where it lives, and the open index.
//
// The cache lives in $XDG_CACHE_HOME/dravik/, or ~/.cache/dravik/ when that
// variable is unset or not absolute. The index is opened on first use and
// again whenever that place changes or the process has forked (an SQLite
// connection must not cross a fork). Each opening first sweeps away the
// temporaries of writers that died and the content files no row names.
#pragma once

#include "platform/cache/CacheIndex.h"
#include "platform/cache/EntryBatch.h"

#include <functional>
#include <string>
#include <string_view>

namespace urlcache {

/// The cache folder for the current environment; empty when there is none
/// (neither XDG_CACHE_HOME nor HOME is usable).
std::string CacheRoot();

/// Runs `work` with the open index and the cache folder, one caller at a
/// time within the process. Returns false, without running `work`, when the
/// cache cannot be opened; the reason is then the thread's latest cache
/// failure (and in `*failure` when it is given).
/// Work that may write runs after the open batch of entries is committed,
/// in a transaction of its own.
[[nodiscard]] bool
WithUrlCache(const std::function<void(CacheIndex& index, const std::string& root)>& work,
             UrlCacheFailure* failure = nullptr);

/// Like WithUrlCache, for work that only reads: it runs inside the open
/// batch, whose entries it sees.
[[nodiscard]] bool
WithUrlCacheReading(const std::function<void(CacheIndex& index, const std::string& root)>& work,
                    UrlCacheFailure* failure = nullptr);

/// Like WithUrlCache, for work that writes one downloaded entry under `url`
/// (EntryBatch.h). When `work` returns true the entry waits in the batch
/// and `report` is made if the batch later fails; otherwise the batch is
/// committed at once and `kept` is false when that failed (the reason then
/// in `*failure`).
[[nodiscard]] bool
WithUrlCacheEntry(const std::function<bool(CacheIndex& index, const std::string& root)>& work,
                  std::u16string_view url, LateFailureReport report, bool& kept,
                  UrlCacheFailure* failure = nullptr);

/// Commits the entries waiting in the batch now (a session ends, say), and
/// returns once every report of a failed batch has been made; called while
/// the thread itself makes a report, it does not wait for the others.
void CommitBatchedEntries();

/// The same, and every entry stored later is committed alone: for a process
/// about to leave without its static destructors (the proxy's std::_Exit, a
/// command stopped by a signal). False, with the reason in `*failure` when
/// it is given, when the waiting entries could not be committed.
[[nodiscard]] bool EndEntryBatches(UrlCacheFailure* failure = nullptr);

} // namespace urlcache
