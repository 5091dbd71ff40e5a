#include "platform/cache/EntryBatch.h"

#include "platform/cache/RecentBodies.h"
#include "platform/cache/Sqlite.h"
#include "platform/com/FaultInjection.h"
#include "platform/kernel/LastError.h"

namespace urlcache {

bool EntryBatch::Join(sqlite3* db) {
    if (open_) {
        return true;
    }
    if (Clock::now() < committed_ + kPause || !Execute(db, "BEGIN IMMEDIATE")) {
        return false;
    }
    open_ = true;
    since_ = Clock::now();
    count_ = 0;
    return true;
}

void EntryBatch::Add(std::u16string url, LateFailureReport report) {
    ++count_;
    if (report) {
        entries_.push_back({std::move(url), std::move(report)});
    }
}

bool EntryBatch::Commit(sqlite3* db, const std::string& path, Owed& owed, UrlCacheFailure& why,
                        const UrlCacheFailure* cause) {
    if (!open_) {
        return true;
    }
    open_ = false;
    committed_ = Clock::now();
    // SQLite may have rolled the transaction back already, after a failed
    // write; its error then is the reason.
    const bool lost = sqlite3_get_autocommit(db) != 0;
    const bool injected = !lost && FaultInjected("CommitEntryBatch");
    if (!lost && !injected && Execute(db, "COMMIT")) {
        entries_.clear();
        return true;
    }
    why = lost && cause != nullptr ? *cause : FailureFromSqlite(path, db);
    if (injected) {
        why.error = ERROR_DISK_FULL;
        why.reason = u"the batch of entries could not be committed";
    } else if (lost) {
        why.reason = u"the batch of entries was rolled back after a failed write (SQLite's "
                     u"last word: " +
                     why.reason + u")";
    }
    if (!lost) {
        Execute(db, "ROLLBACK");
    }
    Fail(why, owed);
    return false;
}

void EntryBatch::Drop(sqlite3* db, const UrlCacheFailure& why, Owed& owed) {
    if (!open_) {
        return;
    }
    open_ = false;
    committed_ = Clock::now();
    if (sqlite3_get_autocommit(db) == 0) {
        Execute(db, "ROLLBACK");
    }
    Fail(why, owed);
}

void EntryBatch::Fail(const UrlCacheFailure& why, Owed& owed) {
    std::vector<Entry> entries;
    entries.swap(entries_);
    // Streams of this process may hold bodies the rollback took back.
    ForgetRecentBodies();
    for (Entry& entry : entries) {
        UrlCacheFailure failure = why;
        failure.url = std::move(entry.url);
        owed.emplace_back(std::move(entry.report), std::move(failure));
    }
}

namespace {

thread_local int t_makingReports = 0;

} // namespace

void MakeReports(const EntryBatch::Owed& owed, bool remember) {
    ++t_makingReports;
    for (const auto& [report, failure] : owed) {
        if (remember) {
            RememberFailure(failure);
        }
        report(failure);
    }
    --t_makingReports;
}

bool MakingReports() {
    return t_makingReports > 0;
}

} // namespace urlcache
