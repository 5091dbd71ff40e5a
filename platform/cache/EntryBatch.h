// Downloaded entries that share one write transaction of the index.
//
// A crawl stores thousands of small responses one after the other; each in a
// transaction of its own would write the same few index pages to the log
// every time. Entries whose body lives in the index (no content file made or
// released) therefore join one open transaction, committed when it holds
// kMaxEntries, when it is kMaxAge old, before any other write of the
// process, when the cache moves, before a fork, and when a session or the
// process ends. Within the process every look-up sees them at once (one
// connection); other processes see them when the batch commits. For
// kPause after each commit entries are written alone, so that another
// process waiting for the write lock gets it. A batch that cannot be
// committed, or that SQLite rolled back by itself, reports each of its
// entries through the report its writer gave.
#pragma once

#include "platform/cache/CacheFailure.h"

#include <sqlite3.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace urlcache {

/// Tells a writer's caller, later, that its entry was not kept after all.
using LateFailureReport = std::function<void(const UrlCacheFailure&)>;

class EntryBatch {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t kMaxEntries = 128;
    static constexpr std::chrono::milliseconds kMaxAge{50};
    static constexpr std::chrono::milliseconds kPause{2};

    /// A report owed, to be made once the cache's lock is released.
    using Owed = std::vector<std::pair<LateFailureReport, UrlCacheFailure>>;

    bool Open() const { return open_; }
    /// When an open batch must be committed at the latest.
    Clock::time_point Deadline() const { return since_ + kMaxAge; }
    bool Due() const { return open_ && (count_ >= kMaxEntries || Clock::now() >= Deadline()); }

    /// Opens the batch's transaction on `db` unless it is open; false when
    /// the batch pauses or the write lock cannot be had (the entry is then
    /// written alone).
    bool Join(sqlite3* db);
    /// True when the batch is open but SQLite has rolled its transaction
    /// back (an I/O error while it spilled pages, say).
    bool Lost(sqlite3* db) const { return open_ && sqlite3_get_autocommit(db) != 0; }
    /// Counts one entry written under `url` in the open batch.
    void Add(std::u16string url, LateFailureReport report);

    /// Commits the open batch (true when none is open). On failure the
    /// batch is rolled back, `why` says why (for the index file `path`) and
    /// every entry's report is added to `owed`. `cause`, when given, is the
    /// failed write after which SQLite rolled the batch back itself: the
    /// reason then, which later statements may have replaced on `db`.
    bool Commit(sqlite3* db, const std::string& path, Owed& owed, UrlCacheFailure& why,
                const UrlCacheFailure* cause = nullptr);

    /// Rolls the open batch back: its entries are lost for `why`, and every
    /// entry's report is added to `owed`.
    void Drop(sqlite3* db, const UrlCacheFailure& why, Owed& owed);

  private:
    /// Ends the batch; its entries are reported with `why`.
    void Fail(const UrlCacheFailure& why, Owed& owed);

    struct Entry {
        std::u16string url;
        LateFailureReport report;
    };
    bool open_ = false;
    Clock::time_point since_;
    Clock::time_point committed_; // the last commit, for the pause after it
    std::size_t count_ = 0;
    std::vector<Entry> entries_; // only those with a report
};

/// Makes the reports owed, outside the cache's lock; `remember` keeps each
/// as the thread's latest failure too (not at exit, when the thread's own
/// storage may be gone).
void MakeReports(const EntryBatch::Owed& owed, bool remember = true);

/// Whether the calling thread is making reports now (inside a report's
/// callback): such a thread must not wait for reports to end.
bool MakingReports();

} // namespace urlcache
