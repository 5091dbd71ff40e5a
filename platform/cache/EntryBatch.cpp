// SPDX-License-Identifier: Apache-2.0
#include "platform/cache/EntryBatch.h"

#include "platform/cache/CacheIndex.h"
#include "platform/cache/RecentBodies.h"
#include "platform/cache/Sqlite.h"
#include "platform/kernel/FaultInjection.h"
#include "platform/kernel/LastError.h"

namespace urlcache {

void EntryBatch::Join() {
    if (m_open) {
        return;
    }
    m_open = true;
    m_since = Clock::now();
    m_count = 0;
}

void EntryBatch::Add(std::u16string url, LateFailureReport report) {
    ++m_count;
    if (report) {
        m_entries.push_back({std::move(url), std::move(report)});
    }
}

bool EntryBatch::Commit(CacheIndex& index, Owed& owed, UrlCacheFailure& why) {
    if (!m_open) {
        return true;
    }
    m_open = false;
    if (!index.HasWaitingRows()) {
        m_entries.clear(); // written already, with an entry that could not wait
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
    m_entries.clear();
    return true;
}

void EntryBatch::Drop(CacheIndex& index, const UrlCacheFailure& why, Owed& owed) {
    if (m_open) {
        m_open = false;
        Fail(index, why, owed);
    }
}

void EntryBatch::Fail(CacheIndex& index, const UrlCacheFailure& why, Owed& owed) {
    index.ForgetWaitingRows();
    std::vector<Entry> entries;
    entries.swap(m_entries);
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
