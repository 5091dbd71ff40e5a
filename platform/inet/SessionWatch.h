// SPDX-License-Identifier: Apache-2.0
// The transfer's native face for watching a session: what its requests
// do, in UTF-8, told to an observer for as long as a watch lasts. The
// front ends use it for progress and for responses the cache could not
// keep; the status callback (WinInet.h) is the shim beneath.
#pragma once

#include "platform/cache/CacheFailure.h"
#include "platform/inet/WinInet.h"

#include <cstddef>
#include <string>

namespace inet {

/// What a watched session's requests report. Calls come from the threads
/// that run the requests, one at a time.
class SessionObserver {
  public:
    virtual ~SessionObserver() = default;
    virtual void RequestSent(const std::string& /*url*/) {}
    virtual void BytesReceived(std::size_t /*bytes*/) {}
    /// `status` 0 when no response came; `error` 0 when the request ended
    /// well, else the library's error number.
    virtual void RequestDone(const std::string& /*url*/, unsigned /*status*/, DWORD /*error*/) {}
    /// A response the cache could not keep.
    virtual void CacheWriteFailed(const UrlCacheFailure& /*failure*/) {}
};

/// Watches one open session for its lifetime; one watch at a time in a
/// process. The observer must outlive the watch.
class SessionWatch {
  public:
    SessionWatch(HINTERNET session, SessionObserver& observer);
    ~SessionWatch();
    SessionWatch(const SessionWatch&) = delete;
    SessionWatch& operator=(const SessionWatch&) = delete;

  private:
    HINTERNET m_session;
};

} // namespace inet
