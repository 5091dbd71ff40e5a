// SPDX-License-Identifier: Apache-2.0
#include "host/proxy/UpstreamPool.h"

#include "host/common/ErrorText.h"
#include "net/InternetSession.h"
#include "platform/kernel/LastError.h"

#include <vector>

namespace proxy {

ForwardFailure DescribeForwardFailure(DWORD error, const std::string& hostKey) {
    ForwardFailure failure;
    failure.offline = error == ERROR_INTERNET_DISCONNECTED;
    failure.tryCache = error == ERROR_INTERNET_CANNOT_CONNECT ||
                       error == ERROR_INTERNET_NAME_NOT_RESOLVED || error == ERROR_INTERNET_TIMEOUT;
    failure.status = error == ERROR_INTERNET_TIMEOUT ? 504 : 502;
    failure.message = "The request to " + hostKey + " failed: " + DescribeError(error) + ".";
    if (error == ERROR_ACCESS_DENIED) {
        failure.status = 403;
        failure.message = hostKey + " is an address of the proxy's machine, which only a client "
                                    "on that machine may reach through the proxy.";
    }
    return failure;
}

UpstreamPool::UpstreamPool(std::size_t maxForwards) : m_maxForwards(maxForwards) {}

bool UpstreamPool::Submit(UpstreamRequest request, std::shared_ptr<UpstreamExchange> exchange) {
    std::unique_lock lock(m_mutex);
    if (m_stopping || m_forwards.size() >= m_maxForwards) {
        return false;
    }
    if (!m_session) {
        m_session.reset(OpenCrawlLikeSession());
        if (!m_session) {
            exchange->Finish(GetLastError());
            return true;
        }
    }
    auto forward = std::make_shared<UpstreamForward>(
        std::move(request), std::move(exchange), [this](UpstreamForward* ended) { Ended(ended); });
    m_forwards.emplace(forward.get(), forward);
    const HINTERNET session = m_session.get();
    lock.unlock();
    forward->Start(session);
    return true;
}

void UpstreamPool::Ended(UpstreamForward* forward) {
    // The caller holds the forward while it runs: it goes once that returns.
    const std::lock_guard lock(m_mutex);
    m_forwards.erase(forward);
    if (m_forwards.empty()) {
        m_allEnded.notify_all();
    }
}

void UpstreamPool::Shutdown() {
    std::vector<std::shared_ptr<UpstreamForward>> running;
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        for (const auto& [key, forward] : m_forwards) {
            running.push_back(forward);
        }
    }
    for (const auto& forward : running) {
        forward->Cancel();
    }
    running.clear();
    inet::OwnedSession session;
    {
        std::unique_lock lock(m_mutex);
        m_allEnded.wait(lock, [this] { return m_forwards.empty(); });
        session = std::move(m_session);
    }
    // Every request of the session is gone: closing it ends its engine
    // (and the engine's thread) here.
    session.reset();
}

} // namespace proxy
