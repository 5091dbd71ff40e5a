// SPDX-License-Identifier: Apache-2.0
// Listens to the module's internet session while one command runs: feeds
// the progress line with each request and its bytes, and keeps every
// response the URL cache could not store, for the report after the run.
#pragma once

#include "platform/cache/CacheFailure.h"
#include "platform/inet/WinInet.h"

#include <vector>

class ProgressLine;

class SessionListener {
  public:
    /// Installs itself as the status callback of `session`, which must be
    /// open; `progress` may be null. One listener at a time.
    SessionListener(HINTERNET session, ProgressLine* progress);
    ~SessionListener();
    SessionListener(const SessionListener&) = delete;
    SessionListener& operator=(const SessionListener&) = delete;

    /// Every response not kept, once the entries still waiting to be
    /// committed are: a commit that fails reports them here too.
    std::vector<UrlCacheFailure> CacheFailures();

  private:
    HINTERNET m_session;
    ProgressLine* m_progress;
    std::vector<UrlCacheFailure> m_cacheFailures;
};
