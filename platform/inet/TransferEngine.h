// SPDX-License-Identifier: Apache-2.0
// A session's transfer engine: one libcurl multi handle for every request of
// the session, so that they share its connections, TLS sessions and HTTP/2
// streams, whichever thread asked for them.
//
// The engine follows libcurl's socket interface: libcurl names the sockets
// it waits on and its next time-out, the engine keeps the sockets in an
// epoll set and hands libcurl only the sockets that are ready (or the time-
// out), so a round costs what the active transfers need, however many idle
// ones wait beside them.
//
// No thread is kept for it: a caller that waits for its transfer drives the
// engine (runs its rounds and waits on its sockets) while no other does, and
// hands the driving on when its own transfer is ready; the others wait for
// the driver's rounds. A lone thread so drives its own requests with no
// hand-over at all, and every transfer moves while any caller waits.
// Additions and resumptions are queued and carried out at the start of the
// next round (a waiting driver is woken for them); a removal is carried out
// at once by its caller, with whatever was queued before it, since whoever
// holds the lock knows no other thread is inside libcurl. libcurl calls a
// transfer's callbacks in a round or in such a removal, always under the
// engine's lock, so what they leave is read under the same lock. Requests of any security
// flags share connections: each is judged on the connection it is about to
// use (TlsVerification.h).
//
// Asynchronous transfers wait on no thread of their caller's: while one is
// watched, a thread of the engine's own drives it and tells its watcher,
// outside the lock, whenever it may go on. That one thread serves every
// asynchronous transfer of the session, however many.
#pragma once

#include "platform/cache/ContentFiles.h"
#include "platform/inet/CurlHandles.h"
#include "platform/kernel/ThreadSafety.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <thread>
#include <unordered_set>
#include <vector>

namespace inet {

/// What a transfer in the engine is told when libcurl has finished it. The
/// easy handle's CURLOPT_PRIVATE must point at its sink. Called with the
/// engine's lock held, in a round (or in a removal that carried out an
/// addition libcurl refused).
class TransferSink {
  public:
    virtual void OnTransferDone(CURLcode result) = 0;

  protected:
    ~TransferSink() = default;
};

/// Told by the engine's own thread, with no lock held, that an asynchronous
/// transfer may go on: its head or body bytes came, it ended, or a
/// quarter of a second passed (so that its idle time-outs are checked).
class TransferWatcher {
  public:
    virtual void OnTransferReady() = 0;

  protected:
    ~TransferWatcher() = default;
};

class TransferEngine {
  public:
    using Clock = std::chrono::steady_clock;

    TransferEngine();
    /// Every transfer must have been removed and every watcher gone by then.
    ~TransferEngine();
    TransferEngine(const TransferEngine&) = delete;
    TransferEngine& operator=(const TransferEngine&) = delete;

    bool Valid() const { return m_multi != nullptr && m_epoll.Valid() && m_wake.Valid(); }

    /// The lock under which transfers' callbacks run.
    AnnotatedMutex& Lock() DRAVIK_RETURN_CAPABILITY(m_mutex) { return m_mutex; }

    /// Starts `easy` in the next round. When libcurl refuses it, its sink is
    /// told the transfer is done with CURLE_OUT_OF_MEMORY.
    void Add(CURL* easy) DRAVIK_EXCLUDES(m_mutex);

    /// Takes `easy` out of the engine at once, without waiting for a round;
    /// once this returns, none of its callbacks runs again and the caller
    /// may free it. Never from inside a round.
    void Remove(CURL* easy) DRAVIK_EXCLUDES(m_mutex);

    /// Lets a transfer its write callback paused go on.
    void Resume(CURL* easy) DRAVIK_REQUIRES(m_mutex);

    /// With `lock` held on Lock(): runs one round when no other thread
    /// drives the engine, first waiting up to `until` for the network when
    /// `poll`; otherwise waits up to `until` for the driver's next round.
    /// The caller checks its transfer after each call.
    void Step(MutexLock& lock, Clock::time_point until, bool poll) DRAVIK_REQUIRES(m_mutex);

    /// Has the engine's thread (started now if need be) drive the engine
    /// and tell `watcher` of its transfer's progress until Unwatch.
    void Watch(TransferWatcher* watcher) DRAVIK_EXCLUDES(m_mutex);

    /// Once this returns, `watcher` is told nothing more: a call under way
    /// on the engine's thread is waited for, unless that is this thread.
    void Unwatch(TransferWatcher* watcher) DRAVIK_EXCLUDES(m_mutex);

    /// From a transfer's callback, under the lock: `watcher` is told by the
    /// engine's thread after its current or next round.
    void Signal(TransferWatcher* watcher) DRAVIK_NO_THREAD_SAFETY_ANALYSIS;

  private:
    enum class Order { Add, Remove, Resume };
    struct Command {
        Order order;
        CURL* easy;
    };

    void Queue(Order order, CURL* easy) DRAVIK_REQUIRES(m_mutex);
    void ApplyCommands() DRAVIK_REQUIRES(m_mutex);
    /// Waits up to `until` (or libcurl's time-out) for the sockets, the lock
    /// let go meanwhile, and hands libcurl those that are ready.
    void PollSockets(Clock::time_point until) DRAVIK_REQUIRES(m_mutex);
    /// Lets libcurl act on its time-out when it is due.
    void RunTimer() DRAVIK_REQUIRES(m_mutex);
    /// Wakes a driver inside its poll.
    void Wake() DRAVIK_REQUIRES(m_mutex);

    // libcurl's calls, made inside the multi calls, so under the lock.
    static int OnSocket(CURL* easy, curl_socket_t socket, int what, void* self,
                        void* socketData) DRAVIK_NO_THREAD_SAFETY_ANALYSIS;
    static int OnTimer(CURLM* multi, long timeoutMs, void* self) DRAVIK_NO_THREAD_SAFETY_ANALYSIS;
    void DeliverFinished() DRAVIK_REQUIRES(m_mutex);
    void Drive();
    /// Tells the signalled watchers (all of them, four times a second), letting
    /// the lock go around each call.
    void TellWatchers() DRAVIK_REQUIRES(m_mutex);

    CurlMulti m_multi;
    urlcache::FileDescriptor m_epoll; // the sockets libcurl waits on, and m_wake
    urlcache::FileDescriptor m_wake;  // an eventfd that ends a poll early
    AnnotatedMutex m_mutex;
    std::condition_variable_any m_round;
    std::condition_variable_any m_watched; // a watcher came, the engine ends, or one was told
    std::deque<Command> m_commands DRAVIK_GUARDED_BY(m_mutex);
    bool m_driving DRAVIK_GUARDED_BY(m_mutex) = false;        // a thread runs a round or polls
    bool m_polling DRAVIK_GUARDED_BY(m_mutex) = false;        // the driver waits in its poll
    Clock::time_point m_pollUntil DRAVIK_GUARDED_BY(m_mutex); // when that poll ends at the latest
    bool m_timerSet DRAVIK_GUARDED_BY(m_mutex) = false;       // libcurl asked for a time-out
    Clock::time_point m_timerDue DRAVIK_GUARDED_BY(m_mutex);

    std::unordered_set<TransferWatcher*> m_watchers DRAVIK_GUARDED_BY(m_mutex);
    std::vector<TransferWatcher*> m_signalled DRAVIK_GUARDED_BY(m_mutex);
    TransferWatcher* m_telling DRAVIK_GUARDED_BY(m_mutex) = nullptr; // being told now
    Clock::time_point m_lastSweep DRAVIK_GUARDED_BY(m_mutex);
    bool m_stopping DRAVIK_GUARDED_BY(m_mutex) = false;
    std::thread m_driver; // started by the first Watch
};

} // namespace inet
