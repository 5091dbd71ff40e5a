// SPDX-License-Identifier: Apache-2.0
#include "support/InetTestSupport.h"

#include "platform/cache/CacheStore.h"

#include "platform/kernel/LastError.h"

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>
#include <vector>

namespace testsupport {

namespace {

/// The text a two-call query gives: the first call asks for the size in
/// bytes, the second fills the buffer and gives its length, in bytes when
/// `inBytes`, else in units.
template <class Query> std::string QueryText(bool inBytes, Query query) {
    DWORD length = 0;
    if (query(nullptr, &length) || GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return {};
    }
    std::vector<char16_t> text(length / sizeof(char16_t));
    if (!query(text.data(), &length)) {
        return {};
    }
    return A(std::u16string_view(text.data(), inBytes ? length / sizeof(char16_t) : length));
}

} // namespace

std::u16string W(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

std::string A(std::u16string_view text) {
    return std::string(text.begin(), text.end());
}

Handle OpenSession() {
    Handle session(InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    DWORD retries = 1;
    EXPECT_TRUE(InternetSetOptionW(session.Get(), INTERNET_OPTION_CONNECT_RETRIES, &retries, 4));
    SetTimeouts(session.Get(), 10000);
    return session;
}

void SetTimeouts(HINTERNET session, DWORD ms) {
    for (const DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                               INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT,
                               INTERNET_OPTION_DATA_RECEIVE_TIMEOUT}) {
        EXPECT_TRUE(InternetSetOptionW(session, option, &ms, sizeof ms));
    }
}

Request OpenRequest(HINTERNET session, int port, std::u16string_view path, DWORD flags,
                    std::u16string_view host) {
    static const char16_t* const kAccept[] = {u"*/*", nullptr};
    Request request;
    request.connect = Handle(InternetConnectW(session, std::u16string(host).c_str(),
                                              static_cast<INTERNET_PORT>(port), nullptr, nullptr,
                                              INTERNET_SERVICE_HTTP, 0, 0));
    request.request =
        Handle(HttpOpenRequestW(request.connect.Get(), u"GET", std::u16string(path).c_str(),
                                u"HTTP/1.0", nullptr, kAccept, flags, 0));
    return request;
}

BOOL Send(const Request& request, std::u16string_view headers) {
    const std::u16string text(headers);
    return HttpSendRequestW(request.Get(), text.c_str(), static_cast<DWORD>(text.size()), nullptr,
                            0);
}

DWORD StatusOf(HINTERNET request) {
    DWORD status = 0;
    DWORD length = sizeof status;
    EXPECT_TRUE(HttpQueryInfoW(request, HTTP_QUERY_FLAG_NUMBER | HTTP_QUERY_STATUS_CODE, &status,
                               &length, nullptr));
    return status;
}

std::string RawHeadersOf(HINTERNET request) {
    return QueryText(true, [request](char16_t* buffer, DWORD* length) {
        return HttpQueryInfoW(request, HTTP_QUERY_RAW_HEADERS_CRLF, buffer, length, nullptr);
    });
}

std::string FinalUrlOf(HINTERNET request) {
    return QueryText(false, [request](char16_t* buffer, DWORD* length) {
        return InternetQueryOptionW(request, INTERNET_OPTION_URL, buffer, length);
    });
}

std::string ReadBody(HINTERNET request, bool* ok) {
    std::string body;
    char buffer[4096];
    DWORD got = 0;
    BOOL read = FALSE;
    while ((read = InternetReadFile(request, buffer, sizeof buffer, &got)) && got != 0) {
        body.append(buffer, got);
    }
    if (ok != nullptr) {
        *ok = read != FALSE;
    }
    return body;
}

Exchange Fetch(HINTERNET session, int port, std::u16string_view path, DWORD flags,
               std::u16string_view headers) {
    Exchange exchange;
    const Request request = OpenRequest(session, port, path, flags);
    exchange.sent = Send(request, headers) != FALSE;
    if (!exchange.sent) {
        exchange.error = GetLastError();
        return exchange;
    }
    exchange.status = StatusOf(request.Get());
    exchange.headers = RawHeadersOf(request.Get());
    exchange.finalUrl = FinalUrlOf(request.Get());
    bool ok = false;
    exchange.body = ReadBody(request.Get(), &ok);
    exchange.error = ok ? 0 : GetLastError();
    return exchange;
}

CacheLook LookUp(std::u16string_view url) {
    const std::u16string key(url);
    DWORD size = 0; // the first call asks for the size
    static_cast<void>(
        GetUrlCacheEntryInfoExW(key.c_str(), nullptr, &size, nullptr, nullptr, nullptr, 0));
    std::vector<std::uint64_t> buffer(size / 8 + 1);
    auto* entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
    if (!GetUrlCacheEntryInfoExW(key.c_str(), entry, &size, nullptr, nullptr, nullptr, 0)) {
        CacheLook missing;
        missing.error = GetLastError();
        return missing;
    }
    const std::uint64_t bytes = (std::uint64_t(entry->dwSizeHigh) << 32) | entry->dwSizeLow;
    return {true,
            0,
            entry->dwUseCount,
            A(entry->lpszSourceUrlName),
            A(entry->lpszLocalFileName),
            A(entry->lpHeaderInfo),
            entry->LastSyncTime,
            entry->LastModifiedTime,
            bytes};
}

std::string CachedBody(std::u16string_view url) {
    const auto copy = urlcache::OpenCopy(A(url));
    if (!copy) {
        return "(none)";
    }
    std::string body(static_cast<std::size_t>((*copy)->Size()), '\0');
    const auto read = (*copy)->Read(0, body.data(), body.size());
    return read ? body.substr(0, *read) : "(unreadable)";
}

long ResidentKiB() {
    long pages = 0;
    long resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

} // namespace testsupport
