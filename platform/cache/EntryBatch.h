// SPDX-License-Identifier: Apache-2.0
// Downloaded entries that share one write transaction of the index.
//
// A crawl stores thousands of small responses one after the other; each in a
// transaction of its own would write the same few index pages to the log
// every time. Entries whose body lives in the index (no content file made or
// released) therefore wait in memory (CacheIndex's waiting rows) and are
// written together in one short transaction, when kMaxEntries or
// kMaxBytes wait, when the first has waited kMaxAge, before any other write
// of the process, when the cache moves, before a fork, and when a session
// or the process ends. The write lock is held only while they are written,
// never while the process waits on the network, so other processes writing
// the same cache are not held up. Within the process every look-up sees a
// waiting entry at once; other processes see it when the batch commits (a
// process whose look-ups share a read transaction, at most 50 ms later). A
// batch that cannot be committed reports each of its entries through the
// report its writer gave, and none of it is kept.
#pragma once

#include "platform/cache/CacheFailure.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace urlcache {

class CacheIndex;

/// Tells a writer's caller, later, that its entry was not kept after all.
using LateFailureReport = std::function<void(const UrlCacheFailure&)>;

class EntryBatch {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t kMaxEntries = 128;
    static constexpr std::size_t kMaxBytes = std::size_t{2} << 20;
    static constexpr std::chrono::milliseconds kMaxAge{50};

    /// A report owed, to be made once the cache's lock is released.
    using Owed = std::vector<std::pair<LateFailureReport, UrlCacheFailure>>;

    bool Open() const { return m_open; }
    /// When an open batch must be committed at the latest.
    Clock::time_point Deadline() const { return m_since + kMaxAge; }
    /// Whether the open batch is to be committed now; `bytes` is what its
    /// bodies hold.
    bool Due(std::size_t bytes) const {
        return m_open &&
               (m_count >= kMaxEntries || bytes >= kMaxBytes || Clock::now() >= Deadline());
    }

    /// Opens the batch unless it is open.
    void Join();
    /// Counts one entry waiting under `url`.
    void Add(std::u16string url, LateFailureReport report);

    /// Writes the waiting rows of `index` in one transaction (true when no
    /// batch is open). On failure nothing of it is kept, `why` says why and
    /// every entry's report is added to `owed`.
    [[nodiscard]] bool Commit(CacheIndex& index, Owed& owed, UrlCacheFailure& why);

    /// Forgets the open batch: its entries are lost for `why`, and every
    /// entry's report is added to `owed`.
    void Drop(CacheIndex& index, const UrlCacheFailure& why, Owed& owed);

  private:
    /// Ends the batch; its entries are reported with `why`.
    void Fail(CacheIndex& index, const UrlCacheFailure& why, Owed& owed);

    struct Entry {
        std::u16string url;
        LateFailureReport report;
    };
    bool m_open = false;
    Clock::time_point m_since;
    std::size_t m_count = 0;
    std::vector<Entry> m_entries; // only those with a report
};

/// Makes the reports owed, outside the cache's lock; `remember` keeps each
/// as the thread's latest failure too (not at exit, when the thread's own
/// storage may be gone).
void MakeReports(const EntryBatch::Owed& owed, bool remember = true);

/// Whether the calling thread is making reports now (inside a report's
/// callback): such a thread must not wait for reports to end.
bool MakingReports();

} // namespace urlcache
