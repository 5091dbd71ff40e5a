// SPDX-License-Identifier: Apache-2.0
// Helpers for driving the internet library the way its callers do.
#pragma once

#include "platform/inet/WinInet.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace testsupport {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnderAddressSanitizer = true;
#elif defined(__has_feature)
constexpr bool kUnderAddressSanitizer = __has_feature(address_sanitizer);
#else
constexpr bool kUnderAddressSanitizer = false;
#endif

std::u16string W(std::string_view ascii);
std::string A(std::u16string_view text); // units below 256 only

struct HandleCloser {
    void operator()(HINTERNET handle) const { InternetCloseHandle(handle); }
};
/// Closes its handle on destruction.
struct Handle : std::unique_ptr<void, HandleCloser> {
    using unique_ptr::unique_ptr;
    HINTERNET Get() const { return get(); }
};

/// A session with short time-outs that suit loopback servers.
Handle OpenSession();
/// Sets every connect, send and receive time-out of `session` to `ms`.
void SetTimeouts(HINTERNET session, DWORD ms);

/// A request handle together with its connection handle.
struct Request {
    Handle connect;
    Handle request;
    HINTERNET Get() const { return request.Get(); }
};

Request OpenRequest(HINTERNET session, int port, std::u16string_view path, DWORD flags,
                    std::u16string_view host = u"127.0.0.1");

BOOL Send(const Request& request, std::u16string_view headers = u"");
DWORD StatusOf(HINTERNET request);
std::string RawHeadersOf(HINTERNET request); // two-call size protocol
std::string FinalUrlOf(HINTERNET request);   // two-call size protocol

/// Reads to the end; stops (leaving `ok` false) at a failed read.
std::string ReadBody(HINTERNET request, bool* ok = nullptr);

/// What one whole exchange gave.
struct Exchange {
    bool sent = false;
    DWORD error = 0; // last error after a failed send or read
    DWORD status = 0;
    std::string headers;
    std::string finalUrl;
    std::string body;
};

Exchange Fetch(HINTERNET session, int port, std::u16string_view path, DWORD flags,
               std::u16string_view headers = u"");

/// The entry's fields, or found = false.
struct CacheLook {
    bool found = false;
    DWORD error = 0;
    DWORD useCount = 0;
    std::string url;
    std::string localFile;
    std::string headers;
    FILETIME lastSync{};
    FILETIME lastModified{};
    std::uint64_t size = 0;
};
CacheLook LookUp(std::u16string_view url);

/// The body the cache keeps for `url` wherever it lives, read through an
/// opened copy (which counts a hit); "(none)" without an entry.
std::string CachedBody(std::u16string_view url);

/// Current resident set of this process, in KiB.
long ResidentKiB();

} // namespace testsupport
