// SPDX-License-Identifier: Apache-2.0
// One forwarded request between the forward that runs it through the
// internet library (UpstreamForward.h) and the connection that answers the
// browser.
//
// The forward puts the response head, then the body piece by piece; the
// body waits in a bounded buffer, and the forward reads no further from the
// network while it is full, so a slow browser slows the download instead of
// filling memory. The connection is told through `notify` (called on the
// forward's thread) that something new can be taken; the forward is told
// through its room callback that the buffer has room again or that the
// exchange was cancelled (the browser went away), which makes it drop the
// download unfinished and so keeps it out of the cache.
#pragma once

#include "host/proxy/HeaderFields.h"
#include "platform/kernel/WinTypes.h"

#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace proxy {

class UpstreamExchange {
  public:
    /// Body bytes held before the forward stops reading.
    static constexpr std::size_t kBufferBytes = std::size_t{256} * 1024;

    explicit UpstreamExchange(std::function<void()> notify) : m_notify(std::move(notify)) {}

    // The connection's side.

    /// The head once it is there (taken once).
    std::optional<ResponseHead> TakeHead();
    /// Moves the buffered body bytes into `out` (replacing its content).
    /// `finished` is set once the forward is done and nothing is left; then
    /// `error` is 0 for a complete body, else the library's error.
    void TakeBody(std::string& out, bool& finished, DWORD& error);
    /// True once the forward ended without a head; `error` says why.
    bool FailedBeforeHead(DWORD& error);
    void Cancel();

    // The forward's side.

    /// Called, with no lock held, once the body buffer that HasRoom found
    /// full has been taken, and when the exchange is cancelled.
    void SetRoomCallback(std::function<void()> room);
    bool Cancelled();
    /// True while the buffer may take more; false when it is full or the
    /// exchange is cancelled: then the room callback comes.
    bool HasRoom();
    void PutHead(ResponseHead head);
    /// Appends body bytes. False when the exchange was cancelled: stop.
    bool PutBody(const char* data, std::size_t size);
    void Finish(DWORD error);

  private:
    /// Calls `m_notify` unless a call is already pending; the lock is held.
    void NotifyLocked(std::unique_lock<std::mutex>& lock);
    /// Calls the room callback, taken under `lock`, which is let go.
    void CallRoom(std::unique_lock<std::mutex>& lock);

    std::function<void()> m_notify;
    std::function<void()> m_room;
    std::mutex m_mutex;
    bool m_wantsRoom = false; // HasRoom found the buffer full
    std::optional<ResponseHead> m_head;
    bool m_headTaken = false;
    std::string m_body;
    bool m_finished = false;
    DWORD m_error = 0;
    bool m_cancelled = false;
    bool m_notifyPending = false;
};

} // namespace proxy
