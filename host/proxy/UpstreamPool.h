// SPDX-License-Identifier: Apache-2.0
// The requests the proxy forwards through the internet library, all under
// way at once on one session of their own, opened with the crawl's time-outs
// and keeping its connections alive between requests.
//
// No thread is kept per request: each forward (UpstreamForward.h) runs on
// the library's asynchronous exchange, so a slow origin or a browser that
// never reads holds only its own connections while the others forward on.
// At most so many forwards are under way; beyond that a request is refused
// at once.
#pragma once

#include "host/proxy/UpstreamForward.h"
#include "platform/inet/Exchange.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace proxy {

class UpstreamPool {
  public:
    explicit UpstreamPool(std::size_t maxForwards);
    ~UpstreamPool() { Shutdown(); }
    UpstreamPool(const UpstreamPool&) = delete;
    UpstreamPool& operator=(const UpstreamPool&) = delete;

    /// Starts forwarding the request; false when too many are under way.
    bool Submit(UpstreamRequest request, std::shared_ptr<UpstreamExchange> exchange);

    /// Refuses new requests, cancels every running one and waits for them
    /// to end, then closes the session.
    void Shutdown();

  private:
    void Ended(UpstreamForward* forward);

    std::size_t m_maxForwards;
    std::mutex m_mutex;
    std::condition_variable m_allEnded;
    std::unordered_map<UpstreamForward*, std::shared_ptr<UpstreamForward>> m_forwards;
    bool m_stopping = false;
    inet::OwnedSession m_session;
};

/// What to answer when a forwarded request failed before its response.
struct ForwardFailure {
    bool offline = false;  // the library went offline meanwhile: answer from the cache
    bool tryCache = false; // the server cannot be reached: a kept copy is better than nothing
    unsigned status = 502;
    std::string message;
};
ForwardFailure DescribeForwardFailure(DWORD error, const std::string& hostKey);

} // namespace proxy
