// SPDX-License-Identifier: Apache-2.0
#include "host/common/SessionListener.h"

#include "host/common/ErrorText.h"
#include "host/common/ProgressLine.h"
#include "platform/cache/UrlCacheStore.h"

SessionListener::SessionListener(HINTERNET session, ProgressLine* progress)
    : m_progress(progress), m_watch(session, *this) {}

SessionListener::~SessionListener() {
    // Commits still waiting report their failures while the watch lasts.
    urlcache::CommitBatchedEntries();
}

std::vector<UrlCacheFailure> SessionListener::CacheFailures() {
    urlcache::CommitBatchedEntries();
    const std::lock_guard lock(m_mutex);
    return m_cacheFailures;
}

void SessionListener::RequestSent(const std::string& url) {
    if (m_progress != nullptr) {
        m_progress->RequestSent(url);
    }
}

void SessionListener::BytesReceived(std::size_t bytes) {
    if (m_progress != nullptr) {
        m_progress->BytesReceived(bytes);
    }
}

void SessionListener::RequestDone(const std::string& url, unsigned status, DWORD error) {
    if (m_progress != nullptr) {
        m_progress->RequestDone(url, status, error == 0 ? std::string() : DescribeError(error));
    }
}

void SessionListener::CacheWriteFailed(const UrlCacheFailure& failure) {
    const std::lock_guard lock(m_mutex);
    m_cacheFailures.push_back(failure);
}
