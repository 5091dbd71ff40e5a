// SPDX-License-Identifier: Apache-2.0
// One forwarded request between the worker thread that runs it through the
// internet library and the connection that answers the browser.
//
// The worker puts the response head, then the body piece by piece; the
// body waits in a bounded buffer, and the worker blocks while it is full,
// so a slow browser slows the download instead of filling memory. The
// connection is told through `notify` (called on the worker's thread) that
// something new can be taken. Cancelling (the browser went away) makes the
// worker drop the download unfinished, which keeps it out of the cache.
#pragma once

#include "host/proxy/HeaderFields.h"
#include "platform/kernel/WinTypes.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace proxy {

class UpstreamExchange {
  public:
    /// Body bytes held at most before the worker waits.
    static constexpr std::size_t kBufferBytes = std::size_t{256} * 1024;

    explicit UpstreamExchange(std::function<void()> notify) : m_notify(std::move(notify)) {}

    // The connection's side.

    /// The head once it is there (taken once).
    std::optional<ResponseHead> TakeHead();
    /// Moves the buffered body bytes into `out` (replacing its content).
    /// `finished` is set once the worker is done and nothing is left; then
    /// `error` is 0 for a complete body, else the library's error.
    void TakeBody(std::string& out, bool& finished, DWORD& error);
    /// True once the worker ended without a head; `error` says why.
    bool FailedBeforeHead(DWORD& error);
    void Cancel();

    // The worker's side.

    bool Cancelled();
    void PutHead(ResponseHead head);
    /// Appends body bytes, waiting while the buffer is full. False when the
    /// exchange was cancelled: stop reading.
    bool PutBody(const char* data, std::size_t size);
    void Finish(DWORD error);

  private:
    /// Calls `m_notify` unless a call is already pending; the lock is held.
    void NotifyLocked(std::unique_lock<std::mutex>& lock);

    std::function<void()> m_notify;
    std::mutex m_mutex;
    std::condition_variable m_room;
    std::optional<ResponseHead> m_head;
    bool m_headTaken = false;
    std::string m_body;
    bool m_finished = false;
    DWORD m_error = 0;
    bool m_cancelled = false;
    bool m_notifyPending = false;
};

} // namespace proxy
