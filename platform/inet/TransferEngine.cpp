// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/TransferEngine.h"

namespace inet {

namespace {

// Connections kept alive per session: a crawl talks to a handful of hosts,
// a forwarding proxy's session to a few dozen.
constexpr long kMaxKeptConnections = 32;

// Longest single wait; libcurl shortens it to its own next timer.
constexpr int kMaxPollMs = 1000;

} // namespace

TransferEngine::TransferEngine() : m_multi(curl_multi_init()) {
    if (m_multi) {
        curl_multi_setopt(m_multi.get(), CURLMOPT_MAXCONNECTS, kMaxKeptConnections);
        curl_multi_setopt(m_multi.get(), CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
    }
}

TransferEngine::~TransferEngine() {
    {
        const MutexLock lock(m_mutex);
        m_stopping = true;
    }
    if (m_thread.joinable()) {
        curl_multi_wakeup(m_multi.get());
        m_thread.join();
    }
}

void TransferEngine::Add(CURL* easy) {
    const MutexLock lock(m_mutex);
    if (!m_thread.joinable()) {
        m_thread = std::thread([this] { Run(); });
    }
    Queue(Step::Add, easy);
}

void TransferEngine::Remove(CURL* easy) {
    MutexLock lock(m_mutex);
    Queue(Step::Remove, easy);
    const std::uint64_t mine = m_queued;
    while (m_applied < mine) {
        m_round.wait(lock);
    }
}

void TransferEngine::Resume(CURL* easy) {
    Queue(Step::Resume, easy);
}

void TransferEngine::WaitForRound(MutexLock& lock, Clock::time_point until) {
    m_round.wait_until(lock, until);
}

void TransferEngine::Queue(Step step, CURL* easy) {
    m_commands.push_back({step, easy});
    ++m_queued;
    curl_multi_wakeup(m_multi.get());
}

void TransferEngine::Run() {
    MutexLock lock(m_mutex);
    while (!m_stopping) {
        ApplyCommands();
        int running = 0;
        curl_multi_perform(m_multi.get(), &running);
        DeliverFinished();
        m_round.notify_all();
        if (!m_commands.empty()) {
            continue; // queued while the round ran
        }
        lock.unlock();
        // A command queued from here on wakes the poll (the wake-up stays
        // pending until the poll has seen it).
        curl_multi_poll(m_multi.get(), nullptr, 0, kMaxPollMs, nullptr);
        lock.lock();
    }
}

void TransferEngine::ApplyCommands() {
    while (!m_commands.empty()) {
        const Command command = m_commands.front();
        m_commands.pop_front();
        switch (command.step) {
        case Step::Add:
            if (curl_multi_add_handle(m_multi.get(), command.easy) != CURLM_OK) {
                void* sink = nullptr;
                curl_easy_getinfo(command.easy, CURLINFO_PRIVATE, &sink);
                static_cast<TransferSink*>(sink)->OnTransferDone(CURLE_OUT_OF_MEMORY);
            }
            break;
        case Step::Remove:
            curl_multi_remove_handle(m_multi.get(), command.easy);
            break;
        case Step::Resume:
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
