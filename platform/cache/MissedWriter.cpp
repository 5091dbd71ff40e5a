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
    : m_wake(std::make_unique<std::condition_variable>()),
      m_written(std::make_unique<std::condition_variable>()) {}

MissedWriter::~MissedWriter() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake->notify_all();
    if (m_thread) {
        m_thread->join(); // it writes what is pending before it ends
    }
}

bool MissedWriter::Note(const std::string& root, const std::u16string& key, std::int64_t ticks) {
    {
        const std::lock_guard lock(m_mutex);
        auto found = m_pending.find({root, key});
        if (found == m_pending.end()) {
            if (m_pending.size() >= kMaxPending) {
                return false;
            }
            found =
                m_pending.emplace(std::make_pair(root, key), NotedMiss{key, ticks, ticks, 0}).first;
        }
        NotedMiss& miss = found->second;
        miss.last = std::max(miss.last, ticks);
        ++miss.count;
        ++m_queued;
        if (!m_thread) {
            m_thread = std::make_unique<std::thread>([this] { Run(); });
        }
    }
    m_wake->notify_one();
    return true;
}

bool MissedWriter::Flush() {
    std::unique_lock lock(m_mutex);
    const std::uint64_t target = m_queued;
    m_written->wait(lock, [&] { return m_flushed >= target; });
    const bool ok = !m_failed;
    m_failed = false;
    return ok;
}

void MissedWriter::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake->wait(lock, [this] { return m_stopping || !m_pending.empty(); });
        if (m_pending.empty()) {
            break; // stopping, and nothing left to write
        }
        Batch batch;
        batch.swap(m_pending);
        const std::uint64_t through = m_queued;
        lock.unlock();
        const bool ok = Write(batch);
        lock.lock();
        m_failed = m_failed || !ok;
        m_flushed = through;
        m_written->notify_all();
    }
    m_db.reset();
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
        if (!m_db || m_dbRoot != root) {
            m_db = OpenMissedList(root);
            m_dbRoot = root;
        }
        ok = m_db && WriteMissedBatch(m_db.get(), misses) && ok;
        if (!m_db) {
            m_dbRoot.clear();
        }
        from = to;
    }
    return ok;
}

void MissedWriter::BeforeFork() {
    m_mutex.lock();
}

void MissedWriter::AfterForkInParent() {
    m_mutex.unlock();
}

void MissedWriter::AfterForkInChild() {
    // The parent writes what was pending; its thread, connection and what
    // that thread waits on are the parent's.
    Leak(m_thread);
    Leak(m_wake);
    Leak(m_written);
    static std::vector<sqlite3*>* const connections = new std::vector<sqlite3*>();
    if (m_db) {
        connections->push_back(m_db.release());
    }
    m_wake = std::make_unique<std::condition_variable>();
    m_written = std::make_unique<std::condition_variable>();
    m_dbRoot.clear();
    m_pending.clear();
    m_flushed = m_queued;
    m_failed = false;
    m_mutex.unlock();
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
