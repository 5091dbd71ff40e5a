// SPDX-License-Identifier: Apache-2.0
// A session's transfer engine: one libcurl multi handle for every request of
// the session, so that they share its connections, TLS sessions and HTTP/2
// streams, whichever thread asked for them.
//
// No thread is kept for it: a caller that waits for its transfer drives the
// engine (runs its rounds and waits on its sockets) while no other does, and
// hands the driving on when its own transfer is ready; the others wait for
// the driver's rounds. A lone thread so drives its own requests with no
// hand-over at all, and every transfer moves while any caller waits.
// Additions, removals and resumptions are queued and carried out by the
// driver at the start of its next round (a waiting driver is woken for them).
// libcurl calls a transfer's callbacks in a round, under the engine's lock,
// so what they leave is read under the same lock. Requests of any security
// flags share connections: each is judged on the connection it is about to
// use (TlsVerification.h).
#pragma once

#include "platform/inet/CurlHandles.h"
#include "platform/kernel/ThreadSafety.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>

namespace inet {

/// What a transfer in the engine is told when libcurl has finished it. The
/// easy handle's CURLOPT_PRIVATE must point at its sink. Called in a round,
/// with the engine's lock held.
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
    /// Every transfer must have been removed by then.
    ~TransferEngine() = default;
    TransferEngine(const TransferEngine&) = delete;
    TransferEngine& operator=(const TransferEngine&) = delete;

    bool Valid() const { return m_multi != nullptr; }

    /// The lock under which transfers' callbacks run.
    AnnotatedMutex& Lock() DRAVIK_RETURN_CAPABILITY(m_mutex) { return m_mutex; }

    /// Starts `easy` in the next round. When libcurl refuses it, its sink is
    /// told the transfer is done with CURLE_OUT_OF_MEMORY.
    void Add(CURL* easy) DRAVIK_EXCLUDES(m_mutex);

    /// Takes `easy` out of the engine; once this returns, none of its
    /// callbacks runs again and the caller may free it.
    void Remove(CURL* easy) DRAVIK_EXCLUDES(m_mutex);

    /// Lets a transfer its write callback paused go on.
    void Resume(CURL* easy) DRAVIK_REQUIRES(m_mutex);

    /// With `lock` held on Lock(): runs one round when no other thread
    /// drives the engine, first waiting up to `until` for the network when
    /// `poll`; otherwise waits up to `until` for the driver's next round.
    /// The caller checks its transfer after each call.
    void Step(MutexLock& lock, Clock::time_point until, bool poll) DRAVIK_REQUIRES(m_mutex);

  private:
    enum class Order { Add, Remove, Resume };
    struct Command {
        Order order;
        CURL* easy;
    };

    void Queue(Order order, CURL* easy) DRAVIK_REQUIRES(m_mutex);
    void ApplyCommands() DRAVIK_REQUIRES(m_mutex);
    void DeliverFinished() DRAVIK_REQUIRES(m_mutex);

    CurlMulti m_multi;
    AnnotatedMutex m_mutex;
    std::condition_variable_any m_round;
    std::deque<Command> m_commands DRAVIK_GUARDED_BY(m_mutex);
    std::uint64_t m_queued DRAVIK_GUARDED_BY(m_mutex) = 0;  // commands ever queued
    std::uint64_t m_applied DRAVIK_GUARDED_BY(m_mutex) = 0; // of them, carried out
    bool m_driving DRAVIK_GUARDED_BY(m_mutex) = false;      // a thread runs a round or polls
    bool m_polling DRAVIK_GUARDED_BY(m_mutex) = false;      // the driver waits in its poll
};

} // namespace inet
