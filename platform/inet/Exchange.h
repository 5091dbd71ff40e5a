// SPDX-License-Identifier: Apache-2.0
// The transfer's native face: one HTTP exchange on a session, named in
// UTF-8 and wire bytes, owned by the caller, its failures given back as
// values. The front ends use it; the library's request calls (WinInet.h)
// are the shim the core is written against, on the same transfer.
#pragma once

#include "platform/inet/WinInet.h"

#include <cstddef>
#include <functional>
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

    /// Send's asynchronous form: sends `request` and returns at once; no
    /// thread of the caller's waits for it. `ready` is called on the
    /// library's own thread, with no lock held, whenever Arrived or TryRead
    /// may go further (possibly before Begin has returned), and at least
    /// four times a second meanwhile. The exchange may be destroyed from
    /// any thread, `ready` included; destroying it waits for a `ready` call
    /// under way on another thread, so its owner must not then hold a lock
    /// that `ready` takes. The session must stay open until every exchange
    /// begun on it is destroyed. Null with the library's error number in
    /// `error` when it could not be sent.
    [[nodiscard]] static std::unique_ptr<Exchange> Begin(HINTERNET session, ExchangeRequest request,
                                                         std::function<void()> ready, DWORD& error);

    /// For a begun exchange: 0 once the final head is there (Head() may be
    /// read), ERROR_IO_PENDING while it is not, else the library's error.
    [[nodiscard]] DWORD Arrived();

    /// Read without waiting: ERROR_IO_PENDING when no body byte is there.
    [[nodiscard]] DWORD TryRead(char* out, std::size_t size, std::size_t& read);
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
    /// The request handle for `request`, or null with `error` set.
    static std::unique_ptr<RequestHandle> Prepare(HINTERNET session, ExchangeRequest& request,
                                                  DWORD& error);

    std::unique_ptr<RequestHandle> m_request;
};

} // namespace inet
