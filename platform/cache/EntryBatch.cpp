// SPDX-License-Identifier: Apache-2.0
#include "platform/cache/EntryBatch.h"

#include "platform/cache/CacheIndex.h"
#include "platform/cache/RecentBodies.h"
#include "platform/cache/Sqlite.h"
#include "platform/kernel/FaultInjection.h"
#include "platform/kernel/LastError.h"

namespace urlcache {

void EntryBatch::Join() {
    if (open_) {
        return;
    }
    open_ = true;
    since_ = Clock::now();
    count_ = 0;
}

void EntryBatch::Add(std::u16string url, LateFailureReport report) {
    ++count_;
    if (report) {
        entries_.push_back({std::move(url), std::move(report)});
    }
}

bool EntryBatch::Commit(CacheIndex& index, Owed& owed, UrlCacheFailure& why) {
    if (!open_) {
        return true;
    }
    open_ = false;
    if (!index.HasWaitingRows()) {
        entries_.clear(); // written already, with an entry that could not wait
        return true;
    }
    bool written = false;
    if (FaultInjected("CommitEntryBatch")) {
        why = index.LastFailure();
        why.error = ERROR_DISK_FULL;
        why.reason = u"the batch of entries could not be committed";
    } else {
        Transaction transaction(index.Db());
        written = transaction.Begun() && index.WriteWaitingRows() && transaction.Commit();
        if (!written) {
            // Taken before the rollback could replace SQLite's message.
            why = index.LastFailure();
        }
    }
    if (!written) {
        Fail(index, why, owed);
        return false;
    }
    index.ForgetWaitingRows();
    entries_.clear();
    return true;
}

void EntryBatch::Drop(CacheIndex& index, const UrlCacheFailure& why, Owed& owed) {
    if (open_) {
        open_ = false;
        Fail(index, why, owed);
    }
}

void EntryBatch::Fail(CacheIndex& index, const UrlCacheFailure& why, Owed& owed) {
    index.ForgetWaitingRows();
    std::vector<Entry> entries;
    entries.swap(entries_);
    // Streams of this process may hold bodies that were never kept.
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
