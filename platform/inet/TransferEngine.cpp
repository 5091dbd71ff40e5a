// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/TransferEngine.h"

#include <algorithm>

namespace inet {

namespace {

// Connections kept alive per session: a crawl talks to a handful of hosts,
// a forwarding proxy's session to a few dozen.
constexpr long kMaxKeptConnections = 32;

// Longest single poll; libcurl shortens it to its own next timer.
constexpr int kMaxPollMs = 1000;

} // namespace

TransferEngine::TransferEngine() : m_multi(curl_multi_init()) {
    if (m_multi) {
        curl_multi_setopt(m_multi.get(), CURLMOPT_MAXCONNECTS, kMaxKeptConnections);
        curl_multi_setopt(m_multi.get(), CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
    }
}

void TransferEngine::Add(CURL* easy) {
    const MutexLock lock(m_mutex);
    Queue(Order::Add, easy);
}

void TransferEngine::Remove(CURL* easy) {
    MutexLock lock(m_mutex);
    Queue(Order::Remove, easy);
    const std::uint64_t mine = m_queued;
    while (m_applied < mine) {
        // A driver that polls is woken by the queueing; none, and this
        // thread carries the removal out itself.
        Step(lock, Clock::now() + std::chrono::milliseconds(kMaxPollMs), false);
    }
}

void TransferEngine::Resume(CURL* easy) {
    Queue(Order::Resume, easy);
}

void TransferEngine::Step(MutexLock& lock, Clock::time_point until, bool poll) {
    if (m_driving) {
        m_round.wait_until(lock, until);
        return;
    }
    m_driving = true;
    if (poll && m_commands.empty()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
        const int ms = static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, kMaxPollMs));
        // The caller's lock is let go around the poll and taken again, as
        // a condition variable's wait does. A command queued meanwhile wakes
        // the poll (the wake-up stays pending until a poll has seen it).
        m_polling = true;
        m_mutex.unlock();
        curl_multi_poll(m_multi.get(), nullptr, 0, ms, nullptr);
        m_mutex.lock();
        m_polling = false;
    }
    ApplyCommands();
    int running = 0;
    curl_multi_perform(m_multi.get(), &running);
    DeliverFinished();
    m_driving = false;
    // The others see what the round did, and one of them drives next.
    m_round.notify_all();
}

void TransferEngine::Queue(Order order, CURL* easy) {
    m_commands.push_back({order, easy});
    ++m_queued;
    // Only a driver inside its poll needs waking: any other sees the
    // command before it polls. Waking none spares a write to libcurl's
    // wake-up socket (and a read to drain it) per command.
    if (m_polling) {
        curl_multi_wakeup(m_multi.get());
    }
}

void TransferEngine::ApplyCommands() {
    while (!m_commands.empty()) {
        const Command command = m_commands.front();
        m_commands.pop_front();
        switch (command.order) {
        case Order::Add:
            if (curl_multi_add_handle(m_multi.get(), command.easy) != CURLM_OK) {
                void* sink = nullptr;
                curl_easy_getinfo(command.easy, CURLINFO_PRIVATE, &sink);
                static_cast<TransferSink*>(sink)->OnTransferDone(CURLE_OUT_OF_MEMORY);
            }
            break;
        case Order::Remove:
            curl_multi_remove_handle(m_multi.get(), command.easy);
            break;
        case Order::Resume:
            curl_easy_pause(command.easy, CURLPAUSE_CONT);
            break;
        }
        ++m_applied;
    }
}

void TransferEngine::DeliverFinished() {
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi.get(), &queued)) {
        if (message->msg != CURLMSG_DONE) {
            continue;
        }
        void* sink = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &sink);
        if (sink != nullptr) {
            static_cast<TransferSink*>(sink)->OnTransferDone(message->data.result);
        }
    }
}

} // namespace inet
