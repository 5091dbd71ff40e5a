// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/SessionWatch.h"

#include "platform/text/Utf8.h"

#include <cstdint>
#include <mutex>
#include <string>

namespace inet {

namespace {

// A status callback is a plain function: it finds the observer here. The
// lock also keeps the observer's calls one at a time.
std::mutex g_mutex;
SessionObserver* g_observer = nullptr;

std::string UrlOf(HINTERNET request) {
    DWORD length = 0;
    // The size query: it fails by design, with the size in `length`.
    static_cast<void>(InternetQueryOptionW(request, INTERNET_OPTION_URL, nullptr, &length));
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
    if (g_observer == nullptr) {
        return;
    }
    switch (status) {
    case INTERNET_STATUS_CACHE_WRITE_FAILED:
        g_observer->CacheWriteFailed(*static_cast<const UrlCacheFailure*>(info));
        break;
    case INTERNET_STATUS_SENDING_REQUEST:
        g_observer->RequestSent(Utf16ToUtf8(std::u16string_view(static_cast<const char16_t*>(info),
                                                                length / sizeof(char16_t) - 1)));
        break;
    case INTERNET_STATUS_RESPONSE_RECEIVED:
        g_observer->BytesReceived(*static_cast<const DWORD*>(info));
        break;
    case INTERNET_STATUS_REQUEST_COMPLETE: {
        const auto* result = static_cast<const INTERNET_ASYNC_RESULT*>(info);
        g_observer->RequestDone(UrlOf(request), StatusOf(request),
                                result->dwResult ? 0 : result->dwError);
        break;
    }
    default:
        break;
    }
}

} // namespace

SessionWatch::SessionWatch(HINTERNET session, SessionObserver& observer) : m_session(session) {
    {
        const std::lock_guard lock(g_mutex);
        g_observer = &observer;
    }
    InternetSetStatusCallbackW(m_session, &OnStatus);
}

SessionWatch::~SessionWatch() {
    InternetSetStatusCallbackW(m_session, nullptr);
    const std::lock_guard lock(g_mutex);
    g_observer = nullptr;
}

} // namespace inet
