// SPDX-License-Identifier: Apache-2.0
#include "host/common/SessionListener.h"

#include "host/common/ErrorText.h"
#include "host/common/ProgressLine.h"
#include "platform/cache/UrlCacheStore.h"
#include "platform/inet/WinInet.h"
#include "platform/text/Utf8.h"

#include <cstdint>
#include <mutex>
#include <string>

namespace {

// A status callback is a plain function: it finds its listener here.
ProgressLine* g_progress = nullptr;
std::vector<UrlCacheFailure>* g_failures = nullptr;
std::mutex g_mutex;

std::string UrlOf(HINTERNET request) {
    DWORD length = 0;
    InternetQueryOptionW(request, INTERNET_OPTION_URL, nullptr, &length);
    std::u16string url(length / sizeof(char16_t), u'\0');
    if (url.empty() || !InternetQueryOptionW(request, INTERNET_OPTION_URL, url.data(), &length)) {
        return {};
    }
    url.resize(length);
    return Utf16ToUtf8(url);
}

unsigned StatusOf(HINTERNET request) {
    DWORD status = 0;
    DWORD length = sizeof status;
    if (!HttpQueryInfoW(request, HTTP_QUERY_FLAG_NUMBER | HTTP_QUERY_STATUS_CODE, &status, &length,
                        nullptr)) {
        return 0;
    }
    return status;
}

void OnStatus(HINTERNET request, std::uintptr_t, DWORD status, void* info, DWORD length) {
    const std::lock_guard lock(g_mutex);
    if (status == INTERNET_STATUS_CACHE_WRITE_FAILED && g_failures != nullptr) {
        g_failures->push_back(*static_cast<const UrlCacheFailure*>(info));
    }
    if (g_progress == nullptr) {
        return;
    }
    switch (status) {
    case INTERNET_STATUS_SENDING_REQUEST:
        g_progress->RequestSent(Utf16ToUtf8(std::u16string_view(static_cast<const char16_t*>(info),
                                                                length / sizeof(char16_t) - 1)));
        break;
    case INTERNET_STATUS_RESPONSE_RECEIVED:
        g_progress->BytesReceived(*static_cast<const DWORD*>(info));
        break;
    case INTERNET_STATUS_REQUEST_COMPLETE: {
        const auto* result = static_cast<const INTERNET_ASYNC_RESULT*>(info);
        g_progress->RequestDone(UrlOf(request), StatusOf(request),
                                result->dwResult ? std::string() : DescribeError(result->dwError));
        break;
    }
    default:
        break;
    }
}

} // namespace

SessionListener::SessionListener(HINTERNET session, ProgressLine* progress)
    : m_session(session), m_progress(progress) {
    const std::lock_guard lock(g_mutex);
    g_progress = m_progress;
    g_failures = &m_cacheFailures;
    InternetSetStatusCallbackW(m_session, &OnStatus);
}

SessionListener::~SessionListener() {
    urlcache::CommitBatchedEntries();
    InternetSetStatusCallbackW(m_session, nullptr);
    const std::lock_guard lock(g_mutex);
    g_progress = nullptr;
    g_failures = nullptr;
}

std::vector<UrlCacheFailure> SessionListener::CacheFailures() {
    urlcache::CommitBatchedEntries();
    const std::lock_guard lock(g_mutex);
    return m_cacheFailures;
}
