// SPDX-License-Identifier: Apache-2.0
// Writes the misses noted in this process from a thread of its own, so
// that noting one (on a proxy's I/O thread) never waits on the file. What
// is noted while a batch is being written goes into the next batch, one
// transaction on the writer's one connection; the same URL noted many
// times meanwhile is one row's update.
//
// The writer is started by the first miss and drains what is left when
// the process exits normally; a process that leaves with _Exit flushes
// first. Around a fork the child forgets the parent's misses, thread and
// connection (the parent writes them).
#pragma once

#include "platform/cache/MissedList.h"

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace urlcache {

class MissedWriter {
  public:
    MissedWriter();
    ~MissedWriter();
    MissedWriter(const MissedWriter&) = delete;
    MissedWriter& operator=(const MissedWriter&) = delete;

    /// Queues a miss of `key` under the cache folder `root` at `ticks`.
    /// False when too many distinct URLs already wait (the list would keep
    /// no more than that anyway).
    [[nodiscard]] bool Note(const std::string& root, const std::u16string& key, std::int64_t ticks);

    /// Waits until every miss queued before the call is written; false
    /// when a batch since the last flush could not be written.
    [[nodiscard]] bool Flush();

    void BeforeFork();
    void AfterForkInParent();
    void AfterForkInChild();

  private:
    using Batch = std::map<std::pair<std::string, std::u16string>, NotedMiss>;

    void Run();
    bool Write(const Batch& batch);
    void Abandon();

    std::mutex m_mutex;
    // On the heap: a fork child leaks them rather than destroy what only
    // the parent's thread waits on.
    std::unique_ptr<std::condition_variable> m_wake;
    std::unique_ptr<std::condition_variable> m_written;
    std::unique_ptr<std::thread> m_thread;
    Batch m_pending;
    std::uint64_t m_queued = 0;  // misses queued so far
    std::uint64_t m_flushed = 0; // of which written (or given up on)
    bool m_failed = false;       // a batch failed since the last Flush
    bool m_stopping = false;
    // The writer thread's own: its connection and the folder it is open in.
    SqliteDb m_db;
    std::string m_dbRoot;
};

/// The process's one writer.
MissedWriter& TheMissedWriter();

} // namespace urlcache
