// SPDX-License-Identifier: Apache-2.0
// The worker threads that forward requests through the internet library.
//
// The library's calls wait, so each worker holds one request at a time on a
// session of its own, opened with the crawl's time-outs; sessions keep their
// connections alive between requests. A request that finds no idle worker
// gets a new one, up to the pool's limit, so a slow origin or a browser that
// never reads holds only its own worker while the others forward on. Past
// the limit requests queue, and the queue is bounded: what cannot be queued
// is refused at once.
#pragma once

#include "host/proxy/ProxyTarget.h"
#include "host/proxy/UpstreamExchange.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
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

class UpstreamPool {
  public:
    /// Workers are started as requests need them, `maxWorkers` at most.
    UpstreamPool(std::size_t maxWorkers, std::size_t maxQueued);
    ~UpstreamPool() { Shutdown(); }
    UpstreamPool(const UpstreamPool&) = delete;
    UpstreamPool& operator=(const UpstreamPool&) = delete;

    /// Queues the request; false when the queue is full.
    bool Submit(UpstreamRequest request, std::shared_ptr<UpstreamExchange> exchange);

    /// Refuses new requests, cancels every queued and running one and waits
    /// for the workers (a worker inside a network wait ends with the wait).
    void Shutdown();

  private:
    struct Job {
        UpstreamRequest request;
        std::shared_ptr<UpstreamExchange> exchange;
    };

    void Work(std::size_t slot);

    std::size_t m_maxQueued;
    std::size_t m_idle = 0; // workers waiting for a request; under m_mutex
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<Job> m_queue;
    std::vector<std::shared_ptr<UpstreamExchange>> m_running; // one slot per possible worker
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

/// What to answer when a forwarded request failed before its response.
struct ForwardFailure {
    bool offline = false;  // the library went offline meanwhile: answer from the cache
    bool tryCache = false; // the server cannot be reached: a kept copy is better than nothing
    unsigned status = 502;
    std::string message;
};
ForwardFailure DescribeForwardFailure(DWORD error, const std::string& hostKey);

/// The request flags of a forwarded request: those of a crawl's request to
/// another host, with redirects and cookies left to the browser, and what
/// it keeps kept as a private or (`shared`) shared HTTP cache keeps it;
/// shared, a request of another machine's client (not `forThisMachine`)
/// keeps nothing that only this machine's user would be served.
DWORD ForwardFlags(bool secure, bool store, bool shared, bool forThisMachine);

} // namespace proxy
