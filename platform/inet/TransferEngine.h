// SPDX-License-Identifier: Apache-2.0
// A session's transfer engine: one libcurl multi handle driven by a thread
// of its own, so that every request of the session shares its connections,
// TLS sessions and HTTP/2 streams, whichever thread asked for it.
//
// Callers never touch the multi handle. They queue additions, removals and
// resumptions, which the engine's thread carries out between its rounds.
// libcurl calls a transfer's callbacks on that thread with the engine's lock
// held, so what they leave is read under the same lock; WaitForRound waits
// for the next round. Requests of any security flags share connections:
// each is judged on the connection it is about to use (TlsVerification.h).
#pragma once

#include "platform/inet/CurlHandles.h"
#include "platform/kernel/ThreadSafety.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <thread>

namespace inet {

/// What a transfer in the engine is told when libcurl has finished it. The
/// easy handle's CURLOPT_PRIVATE must point at its sink. Called on the
/// engine's thread with its lock held.
class TransferSink {
  public:
    virtual void OnTransferDone(CURLcode result) = 0;

  protected:
    ~TransferSink() = default;
};

class TransferEngine {
  public:
    using Clock = std::chrono::steady_clock;

    TransferEngine();
    /// Stops the thread; every transfer must have been removed by then.
    ~TransferEngine();
    TransferEngine(const TransferEngine&) = delete;
    TransferEngine& operator=(const TransferEngine&) = delete;

    bool Valid() const { return m_multi != nullptr; }

    /// The lock under which transfers' callbacks run.
    AnnotatedMutex& Lock() DRAVIK_RETURN_CAPABILITY(m_mutex) { return m_mutex; }

    /// Starts `easy` on the engine's thread. When libcurl refuses it, its
    /// sink is told the transfer is done with CURLE_OUT_OF_MEMORY.
    void Add(CURL* easy) DRAVIK_EXCLUDES(m_mutex);

    /// Takes `easy` out of the engine; once this returns, none of its
    /// callbacks runs again and the caller may free it.
    void Remove(CURL* easy) DRAVIK_EXCLUDES(m_mutex);

    /// Lets a transfer its write callback paused go on.
    void Resume(CURL* easy) DRAVIK_REQUIRES(m_mutex);

    /// Waits, with `lock` held on Lock(), until the engine ends its next
    /// round or `until` comes.
    void WaitForRound(MutexLock& lock, Clock::time_point until) DRAVIK_REQUIRES(m_mutex);

  private:
    enum class Step { Add, Remove, Resume };
    struct Command {
        Step step;
        CURL* easy;
    };

    void Queue(Step step, CURL* easy) DRAVIK_REQUIRES(m_mutex);
    void Run();
    void ApplyCommands() DRAVIK_REQUIRES(m_mutex);
    void DeliverFinished() DRAVIK_REQUIRES(m_mutex);

    CurlMulti m_multi;
    AnnotatedMutex m_mutex;
    std::condition_variable_any m_round;
    std::deque<Command> m_commands DRAVIK_GUARDED_BY(m_mutex);
    std::uint64_t m_queued DRAVIK_GUARDED_BY(m_mutex) = 0;  // commands ever queued
    std::uint64_t m_applied DRAVIK_GUARDED_BY(m_mutex) = 0; // of them, carried out
    bool m_stopping DRAVIK_GUARDED_BY(m_mutex) = false;
    std::thread m_thread; // started by the first Add
};

} // namespace inet
