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
    if (!Execute(db, "BEGIN IMMEDIATE")) {
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

bool EntryBatch::Commit(sqlite3* db, const std::string& path, Owed& owed, UrlCacheFailure& why) {
    if (!open_) {
        return true;
    }
    open_ = false;
    std::vector<Entry> entries;
    entries.swap(entries_);
    const bool injected = FaultInjected("CommitEntryBatch");
    if (!injected && Execute(db, "COMMIT")) {
        return true;
    }
    why = FailureFromSqlite(path, db);
    if (injected) {
        why.error = ERROR_DISK_FULL;
        why.reason = u"the batch of entries could not be committed";
    }
    Execute(db, "ROLLBACK");
    // Streams of this process may hold bodies the rollback took back.
    ForgetRecentBodies();
    for (Entry& entry : entries) {
        UrlCacheFailure failure = why;
        failure.url = std::move(entry.url);
        owed.emplace_back(std::move(entry.report), std::move(failure));
    }
    return false;
}

void MakeReports(const EntryBatch::Owed& owed) {
    for (const auto& [report, failure] : owed) {
        RememberFailure(failure);
        report(failure);
    }
}

} // namespace urlcache
