#include "support/InetTestSupport.h"

#include "platform/kernel/LastError.h"

#include <fstream>
#include <vector>

namespace testsupport {

std::u16string W(std::string_view ascii) {
    std::u16string out;
    for (const char c : ascii) {
        out += static_cast<char16_t>(static_cast<unsigned char>(c));
    }
    return out;
}

std::string A(std::u16string_view text) {
    std::string out;
    for (const char16_t unit : text) {
        out += static_cast<char>(unit);
    }
    return out;
}

Handle& Handle::operator=(Handle&& other) noexcept {
    if (this != &other) {
        if (handle_ != nullptr) {
            InternetCloseHandle(handle_);
        }
        handle_ = other.handle_;
        other.handle_ = nullptr;
    }
    return *this;
}

Handle::~Handle() {
    if (handle_ != nullptr) {
        InternetCloseHandle(handle_);
    }
}

Handle OpenSession() {
    Handle session(InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    DWORD retries = 1;
    InternetSetOptionW(session.Get(), INTERNET_OPTION_CONNECT_RETRIES, &retries, 4);
    for (const DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                               INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT,
                               INTERNET_OPTION_DATA_RECEIVE_TIMEOUT}) {
        DWORD ms = 10000;
        InternetSetOptionW(session.Get(), option, &ms, 4);
    }
    return session;
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
    HttpQueryInfoW(request, HTTP_QUERY_FLAG_NUMBER | HTTP_QUERY_STATUS_CODE, &status, &length,
                   nullptr);
    return status;
}

std::string RawHeadersOf(HINTERNET request) {
    DWORD length = 0;
    if (HttpQueryInfoW(request, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &length, nullptr) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return {};
    }
    std::vector<char16_t> text(length / sizeof(char16_t));
    if (!HttpQueryInfoW(request, HTTP_QUERY_RAW_HEADERS_CRLF, text.data(), &length, nullptr)) {
        return {};
    }
    return A(std::u16string_view(text.data(), length / sizeof(char16_t)));
}

std::string FinalUrlOf(HINTERNET request) {
    DWORD length = 0;
    if (InternetQueryOptionW(request, INTERNET_OPTION_URL, nullptr, &length) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return {};
    }
    std::vector<char16_t> text(length / sizeof(char16_t));
    if (!InternetQueryOptionW(request, INTERNET_OPTION_URL, text.data(), &length)) {
        return {};
    }
    return A(std::u16string_view(text.data(), length));
}

std::string ReadBody(HINTERNET request, DWORD piece, int* reads, bool* ok) {
    std::string body;
    std::vector<char> buffer(piece);
    for (;;) {
        DWORD got = 0;
        const BOOL read = InternetReadFile(request, buffer.data(), piece, &got);
        if (reads != nullptr) {
            ++*reads;
        }
        if (ok != nullptr) {
            *ok = read != FALSE;
        }
        if (!read || got == 0) {
            return body;
        }
        body.append(buffer.data(), got);
    }
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
    exchange.body = ReadBody(request.Get(), 4096, nullptr, &ok);
    if (!ok) {
        exchange.error = GetLastError();
    }
    return exchange;
}

CacheLook LookUp(std::u16string_view url) {
    CacheLook look;
    const std::u16string key(url);
    DWORD size = 0;
    if (GetUrlCacheEntryInfoExW(key.c_str(), nullptr, &size, nullptr, nullptr, nullptr, 0) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        look.error = GetLastError();
        return look;
    }
    std::vector<std::uint64_t> buffer((size + 7) / 8);
    auto* entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
    if (!GetUrlCacheEntryInfoExW(key.c_str(), entry, &size, nullptr, nullptr, nullptr, 0)) {
        look.error = GetLastError();
        return look;
    }
    look.found = true;
    look.useCount = entry->dwUseCount;
    look.url = A(entry->lpszSourceUrlName);
    look.localFile = A(entry->lpszLocalFileName);
    look.headers = A(entry->lpHeaderInfo);
    look.lastSync = entry->LastSyncTime;
    look.lastModified = entry->LastModifiedTime;
    look.size = (std::uint64_t(entry->dwSizeHigh) << 32) | entry->dwSizeLow;
    return look;
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            return value;
        }
        status.ignore(4096, '\n');
    }
    return 0;
}

} // namespace testsupport
