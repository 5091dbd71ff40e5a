// SPDX-License-Identifier: Apache-2.0
#include "net/InternetSession.h"

#include "platform/kernel/LastError.h"

HINTERNET g_hInternet = nullptr;

const char16_t* const g_acceptTypes[2] = {u"*/*", nullptr};

namespace {

struct SessionOption {
    DWORD option;
    DWORD value;
};

// One connection attempt per request; the transfer time-out covers sending
// and receiving alike.
constexpr SessionOption kSessionOptions[] = {
    {INTERNET_OPTION_CONNECT_RETRIES, 1},
    {INTERNET_OPTION_CONNECT_TIMEOUT, kConnectTimeoutSeconds * 1000},
    {INTERNET_OPTION_SEND_TIMEOUT, kTransferTimeoutSeconds * 1000},
    {INTERNET_OPTION_RECEIVE_TIMEOUT, kTransferTimeoutSeconds * 1000},
    {INTERNET_OPTION_DATA_SEND_TIMEOUT, kTransferTimeoutSeconds * 1000},
    {INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, kTransferTimeoutSeconds * 1000},
};

BOOL SetSessionOptions(HINTERNET session) {
    for (const SessionOption& o : kSessionOptions) {
        DWORD value = o.value;
        if (!InternetSetOptionW(session, o.option, &value, sizeof value)) {
            return FALSE;
        }
    }
    return TRUE;
}

} // namespace

BOOL OpenInternetSession() {
    // No agent: every request of a crawl carries its own "User-agent" line.
    g_hInternet = InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (g_hInternet == nullptr) {
        return FALSE;
    }
    return SetSessionOptions(g_hInternet);
}

HINTERNET OpenCrawlLikeSession() {
    HINTERNET session = InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (session != nullptr && !SetSessionOptions(session)) {
        const DWORD error = GetLastError();
        InternetCloseHandle(session);
        SetLastError(error);
        return nullptr;
    }
    return session;
}

BOOL OfferHttp2(HINTERNET session, BOOL offer) {
    DWORD protocols = offer != FALSE ? HTTP_PROTOCOL_FLAG_HTTP2 : 0;
    return InternetSetOptionW(session, INTERNET_OPTION_ENABLE_HTTP_PROTOCOL, &protocols,
                              sizeof protocols);
}

void CloseInternetSession() {
    if (g_hInternet != nullptr) {
        InternetCloseHandle(g_hInternet);
        g_hInternet = nullptr;
    }
}
