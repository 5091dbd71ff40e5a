// SPDX-License-Identifier: Apache-2.0
// The transfer's native face: one HTTP exchange on a session, named in
// UTF-8 and wire bytes, owned by the caller, its failures given back as
// values. The front ends use it; the library's request calls (WinInet.h)
// are the shim the core is written against, on the same transfer.
#pragma once

#include "platform/inet/WinInet.h"

#include <cstddef>
#include <memory>
#include <string>

namespace inet {

class RequestHandle;

/// Closes a session handle; OwnedSession holds one for its owner's lifetime.
struct SessionCloser {
    void operator()(HINTERNET session) const;
};
using OwnedSession = std::unique_ptr<void, SessionCloser>;

struct ExchangeRequest {
    std::string method = "GET"; ///< a method token
    std::string host;           ///< as the URL names it (no brackets for IPv6)
    unsigned port = 80;
    std::string target; ///< path and query, as they go on the wire
    DWORD flags = 0;    ///< the INTERNET_FLAG_* bits, as for a request handle
    std::string headerBlock;
    std::string body; ///< empty for none
};

/// One exchange, from its request to the end of its response's body.
/// Closing it before the end keeps a partial body out of the cache.
class Exchange {
  public:
    /// Sends `request` on the session `session` and waits for the final
    /// response's head. Null with the library's error number in `error`
    /// when it could not.
    [[nodiscard]] static std::unique_ptr<Exchange> Send(HINTERNET session, ExchangeRequest request,
                                                        DWORD& error);
    ~Exchange();
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;

    /// The final response's status line and header lines, CR LF ended.
    const std::string& Head() const;

    /// Copies up to `size` body bytes into `out`; `read` 0 at the end.
    /// Returns 0 or the library's error number; a failure sticks.
    [[nodiscard]] DWORD Read(char* out, std::size_t size, std::size_t& read);

  private:
    explicit Exchange(std::unique_ptr<RequestHandle> request);

    std::unique_ptr<RequestHandle> m_request;
};

} // namespace inet
