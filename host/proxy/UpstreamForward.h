// SPDX-License-Identifier: Apache-2.0
// One request the proxy forwards through the internet library's
// asynchronous exchange, from its request to the end of its response.
//
// No thread waits for it: the library tells the forward when the head or
// body bytes came, the connection's exchange (UpstreamExchange.h) when its
// buffer has room again or the browser went away, and the forward then goes
// as far as it can without waiting. Calls from several threads run one
// after another, never side by side.
#pragma once

#include "host/proxy/ProxyTarget.h"
#include "host/proxy/UpstreamExchange.h"
#include "platform/inet/Exchange.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace proxy {

struct UpstreamRequest {
    std::string method; // "GET", "HEAD", "POST", ...
    ProxyTarget target;
    std::string headerBlock;    // "Name: value" lines, each ended by CR LF
    bool store = true;          // let a 200 response to a GET go to the cache
    bool sharedCache = false;   // other people's browsers are served too (--allow)
    bool clientLoopback = true; // the browser runs on this machine
    std::string body;           // the request body, read whole beforehand
};

class UpstreamForward : public std::enable_shared_from_this<UpstreamForward> {
  public:
    /// `ended` is called once, after the exchange learnt the outcome and the
    /// library's exchange is gone.
    UpstreamForward(UpstreamRequest request, std::shared_ptr<UpstreamExchange> exchange,
                    std::function<void(UpstreamForward*)> ended);

    /// Sends the request on `session`; the forward is owned by a shared_ptr.
    void Start(HINTERNET session);

    /// Goes as far as it can now.
    void Pump();

    /// The browser's side went away, or the proxy stops.
    void Cancel() { m_exchange->Cancel(); }

  private:
    /// One pass; only the holder of the pump runs it.
    void Run();
    /// With the pump held: runs the passes asked for meanwhile, then lets
    /// the pump go.
    void RunAsked();
    /// False when the head cannot be passed on (the forward has ended).
    bool PassHead();
    void Finish(DWORD error);

    UpstreamRequest m_request;
    std::shared_ptr<UpstreamExchange> m_exchange;
    std::function<void(UpstreamForward*)> m_ended;

    std::mutex m_mutex;
    bool m_pumping = false; // a thread runs passes; under m_mutex
    bool m_asked = false;   // another pass was asked for meanwhile; under m_mutex

    std::unique_ptr<inet::Exchange> m_sent;
    bool m_headed = false;
    bool m_finished = false;
    bool m_kept = false; // a 200 to a GET that goes to the cache
    std::optional<std::uint64_t> m_length;
    std::uint64_t m_passed = 0;
    std::unique_ptr<char[]> m_piece; // kReadPiece bytes, once the head came
    std::vector<char> m_last;        // the piece that completes a kept body, held back
};

/// The request flags of a forwarded request: those of a crawl's request to
/// another host, with redirects and cookies left to the browser, and what
/// it keeps kept as a private or (`shared`) shared HTTP cache keeps it;
/// shared, a request of another machine's client (not `forThisMachine`)
/// keeps nothing that only this machine's user would be served.
DWORD ForwardFlags(bool secure, bool store, bool shared, bool forThisMachine);

} // namespace proxy
