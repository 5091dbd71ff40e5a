// Helpers for driving the internet library the way its callers do.
#pragma once

#include "platform/inet/WinInet.h"

#include <string>
#include <string_view>

namespace testsupport {

std::u16string W(std::string_view ascii);
std::string A(std::u16string_view text); // units below 256 only

/// Closes its handle on destruction.
class Handle {
  public:
    Handle() = default;
    explicit Handle(HINTERNET handle) : handle_(handle) {}
    Handle(Handle&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
    Handle& operator=(Handle&& other) noexcept;
    ~Handle();

    HINTERNET Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

  private:
    HINTERNET handle_ = nullptr;
};

/// A session with short time-outs that suit loopback servers.
Handle OpenSession();

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

/// Reads to the end in pieces of `piece` bytes; `reads` counts the calls.
/// Stops (leaving `ok` false) at a failed read.
std::string ReadBody(HINTERNET request, DWORD piece = 4096, int* reads = nullptr,
                     bool* ok = nullptr);

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

/// Current resident set of this process, in KiB.
long ResidentKiB();

} // namespace testsupport
