// SPDX-License-Identifier: Apache-2.0
#include "platform/cache/MissedWriter.h"

#include "platform/cache/MissedUrls.h"

#include <pthread.h>

#include <algorithm>
#include <vector>

namespace urlcache {

namespace {

// Distinct URLs waiting at most: the list keeps no more than this either.
constexpr std::size_t kMaxPending = kMaxMissedUrls;

/// Keeps what a fork child must not destroy reachable, for the leak checker.
template <class T> void Leak(std::unique_ptr<T>& owned) {
    static std::vector<void*>* const kept = new std::vector<void*>();
    if (owned) {
        kept->push_back(owned.release());
    }
}

} // namespace

MissedWriter::MissedWriter()
    : wake_(std::make_unique<std::condition_variable>()),
      written_(std::make_unique<std::condition_variable>()) {}

MissedWriter::~MissedWriter() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_->notify_all();
    if (thread_) {
        thread_->join(); // it writes what is pending before it ends
    }
}

bool MissedWriter::Note(const std::string& root, std::u16string key, std::int64_t ticks) {
    {
        const std::lock_guard lock(mutex_);
        auto found = pending_.find({root, key});
        if (found == pending_.end()) {
            if (pending_.size() >= kMaxPending) {
                return false;
            }
            found =
                pending_.emplace(std::make_pair(root, key), NotedMiss{key, ticks, ticks, 0}).first;
        }
        NotedMiss& miss = found->second;
        miss.last = std::max(miss.last, ticks);
        ++miss.count;
        ++queued_;
        if (!thread_) {
            thread_ = std::make_unique<std::thread>([this] { Run(); });
        }
    }
    wake_->notify_one();
    return true;
}

bool MissedWriter::Flush() {
    std::unique_lock lock(mutex_);
    const std::uint64_t target = queued_;
    written_->wait(lock, [&] { return flushed_ >= target; });
    const bool ok = !failed_;
    failed_ = false;
    return ok;
}

void MissedWriter::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_->wait(lock, [this] { return stopping_ || !pending_.empty(); });
        if (pending_.empty()) {
            break; // stopping, and nothing left to write
        }
        Batch batch;
        batch.swap(pending_);
        const std::uint64_t through = queued_;
        lock.unlock();
        const bool ok = Write(batch);
        lock.lock();
        failed_ = failed_ || !ok;
        flushed_ = through;
        written_->notify_all();
    }
    db_.reset();
}

bool MissedWriter::Write(const Batch& batch) {
    bool ok = true;
    auto from = batch.begin();
    while (from != batch.end()) {
        // A batch is nearly always of one cache folder; a process that
        // changed folders meanwhile gets one transaction per folder.
        const std::string& root = from->first.first;
        std::vector<NotedMiss> misses;
        auto to = from;
        for (; to != batch.end() && to->first.first == root; ++to) {
            misses.push_back(to->second);
        }
        if (!db_ || dbRoot_ != root) {
            db_ = OpenMissedList(root);
            dbRoot_ = root;
        }
        ok = db_ && WriteMissedBatch(db_.get(), misses) && ok;
        if (!db_) {
            dbRoot_.clear();
        }
        from = to;
    }
    return ok;
}

void MissedWriter::BeforeFork() {
    mutex_.lock();
}

void MissedWriter::AfterForkInParent() {
    mutex_.unlock();
}

void MissedWriter::AfterForkInChild() {
    // The parent writes what was pending; its thread, connection and what
    // that thread waits on are the parent's.
    Leak(thread_);
    Leak(wake_);
    Leak(written_);
    static std::vector<sqlite3*>* const connections = new std::vector<sqlite3*>();
    if (db_) {
        connections->push_back(db_.release());
    }
    wake_ = std::make_unique<std::condition_variable>();
    written_ = std::make_unique<std::condition_variable>();
    dbRoot_.clear();
    pending_.clear();
    flushed_ = queued_;
    failed_ = false;
    mutex_.unlock();
}

MissedWriter& TheMissedWriter() {
    static MissedWriter writer;
    static const bool watching = [] {
        return ::pthread_atfork([] { TheMissedWriter().BeforeFork(); },
                                [] { TheMissedWriter().AfterForkInParent(); },
                                [] { TheMissedWriter().AfterForkInChild(); }) == 0;
    }();
    static_cast<void>(watching);
    return writer;
}

} // namespace urlcache
