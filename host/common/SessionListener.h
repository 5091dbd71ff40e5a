// SPDX-License-Identifier: Apache-2.0
// Listens to the module's internet session while one command runs: feeds
// the progress line with each request and its bytes, and keeps every
// response the URL cache could not store, for the report after the run.
#pragma once

#include "platform/cache/CacheFailure.h"
#include "platform/inet/SessionWatch.h"

#include <mutex>
#include <vector>

class ProgressLine;

class SessionListener : private inet::SessionObserver {
  public:
    /// Watches `session`, which must be open; `progress` may be null. One
    /// listener at a time.
    SessionListener(HINTERNET session, ProgressLine* progress);
    ~SessionListener() override;
    SessionListener(const SessionListener&) = delete;
    SessionListener& operator=(const SessionListener&) = delete;

    /// Every response not kept, once the entries still waiting to be
    /// committed are: a commit that fails reports them here too.
    std::vector<UrlCacheFailure> CacheFailures();

  private:
    void RequestSent(const std::string& url) override;
    void BytesReceived(std::size_t bytes) override;
    void RequestDone(const std::string& url, unsigned status, DWORD error) override;
    void CacheWriteFailed(const UrlCacheFailure& failure) override;

    ProgressLine* m_progress;
    std::mutex m_mutex; // the failures are read while requests still report
    std::vector<UrlCacheFailure> m_cacheFailures;
    inet::SessionWatch m_watch; // last: it stops before the rest goes
};
