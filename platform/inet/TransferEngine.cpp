// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/TransferEngine.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>

namespace inet {

namespace {

// Connections kept alive per session: a crawl talks to a handful of hosts,
// a forwarding proxy's session to a few dozen.
constexpr long kMaxKeptConnections = 32;

// Longest single poll; libcurl shortens it to its own next timer.
constexpr int kMaxPollMs = 1000;

// Ready sockets taken from one poll.
constexpr int kEventsPerPoll = 64;

// How often every watcher is told, whether or not its transfer moved, so
// that it can check its idle time-outs: a quarter of a second late at most.
constexpr auto kSweep = std::chrono::milliseconds(250);

} // namespace

TransferEngine::TransferEngine()
    : m_multi(curl_multi_init()), m_epoll(::epoll_create1(EPOLL_CLOEXEC)),
      m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!Valid()) {
        return;
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = m_wake.Get();
    ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_ADD, m_wake.Get(), &event);
    CURLM* multi = m_multi.get();
    curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, kMaxKeptConnections);
    curl_multi_setopt(multi, CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
    curl_multi_setopt(multi, CURLMOPT_SOCKETFUNCTION, OnSocket);
    curl_multi_setopt(multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(multi, CURLMOPT_TIMERFUNCTION, OnTimer);
    curl_multi_setopt(multi, CURLMOPT_TIMERDATA, this);
}

TransferEngine::~TransferEngine() {
    {
        const MutexLock lock(m_mutex);
        m_stopping = true;
        if (m_polling) {
            Wake();
        }
    }
    m_round.notify_all();
    m_watched.notify_all();
    if (m_driver.joinable()) {
        m_driver.join();
    }
    if (m_multi) {
        // The connections libcurl closes as it is cleaned up concern no
        // one any more: its calls would outlive the members they touch.
        curl_multi_setopt(m_multi.get(), CURLMOPT_SOCKETFUNCTION, nullptr);
        curl_multi_setopt(m_multi.get(), CURLMOPT_TIMERFUNCTION, nullptr);
    }
}

void TransferEngine::Add(CURL* easy) {
    const MutexLock lock(m_mutex);
    Queue(Order::Add, easy);
}

void TransferEngine::Remove(CURL* easy) {
    // Holding the lock, this thread knows no other is inside libcurl: a
    // driver lets the lock go only around its poll, which touches none of
    // libcurl's state. The removal is carried out here and now (after what
    // was queued before it), sparing the caller a wait for the driver's
    // next round.
    const MutexLock lock(m_mutex);
    const bool timerWasSet = m_timerSet;
    const Clock::time_point timerWasDue = m_timerDue;
    Queue(Order::Remove, easy);
    ApplyCommands();
    // A transfer that waited for the connection this one leaves is now due
    // at once: a driver in its poll is woken only when libcurl moved its
    // timer (by more than its own millisecond rounding) to before the
    // poll's end.
    const bool sooner =
        m_timerSet && (!timerWasSet || m_timerDue + std::chrono::milliseconds(1) < timerWasDue);
    if (m_polling && sooner && m_timerDue < m_pollUntil) {
        Wake();
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
    ApplyCommands();
    const bool due = m_timerSet && Clock::now() >= m_timerDue;
    if (poll && m_commands.empty() && !due) {
        PollSockets(until);
        ApplyCommands(); // queued while the lock was let go
    }
    RunTimer();
    DeliverFinished();
    m_driving = false;
    // The others see what the round did, and one of them drives next.
    m_round.notify_all();
}

void TransferEngine::PollSockets(Clock::time_point until) {
    if (m_timerSet) {
        until = std::min(until, m_timerDue);
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
    const int ms = static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, kMaxPollMs));
    // The caller's lock is let go around the poll and taken again, as a
    // condition variable's wait does. An addition or resumption queued
    // meanwhile wakes the poll (the eventfd stays readable until a poll has
    // seen it); a removal is carried out by its caller.
    std::array<epoll_event, kEventsPerPoll> events{};
    m_polling = true;
    m_pollUntil = Clock::now() + std::chrono::milliseconds(ms);
    m_mutex.unlock();
    const int ready = ::epoll_wait(m_epoll.Get(), events.data(), kEventsPerPoll, ms);
    m_mutex.lock();
    m_polling = false;
    for (int i = 0; i < ready; ++i) {
        const int fd = events[i].data.fd;
        if (fd == m_wake.Get()) {
            // Drained: the count itself means nothing.
            std::uint64_t count = 0;
            if (::read(fd, &count, sizeof count) < 0) {
                count = 0;
            }
            continue;
        }
        const std::uint32_t what = events[i].events;
        const int mask = ((what & EPOLLIN) != 0 ? CURL_CSELECT_IN : 0) |
                         ((what & EPOLLOUT) != 0 ? CURL_CSELECT_OUT : 0) |
                         ((what & (EPOLLERR | EPOLLHUP)) != 0 ? CURL_CSELECT_ERR : 0);
        int running = 0;
        curl_multi_socket_action(m_multi.get(), fd, mask, &running);
    }
}

void TransferEngine::RunTimer() {
    // libcurl sets its next time-out from inside the call, if it has one.
    while (m_timerSet && Clock::now() >= m_timerDue) {
        m_timerSet = false;
        int running = 0;
        curl_multi_socket_action(m_multi.get(), CURL_SOCKET_TIMEOUT, 0, &running);
    }
}

int TransferEngine::OnSocket(CURL*, curl_socket_t socket, int what, void* self, void*) {
    auto* engine = static_cast<TransferEngine*>(self);
    const int epoll = engine->m_epoll.Get();
    if (what == CURL_POLL_REMOVE) {
        ::epoll_ctl(epoll, EPOLL_CTL_DEL, socket, nullptr);
        return 0;
    }
    epoll_event event{};
    event.events =
        ((what & CURL_POLL_IN) != 0 ? EPOLLIN : 0U) | ((what & CURL_POLL_OUT) != 0 ? EPOLLOUT : 0U);
    event.data.fd = socket;
    if (::epoll_ctl(epoll, EPOLL_CTL_MOD, socket, &event) != 0 && errno == ENOENT) {
        ::epoll_ctl(epoll, EPOLL_CTL_ADD, socket, &event);
    }
    return 0;
}

int TransferEngine::OnTimer(CURLM*, long timeoutMs, void* self) {
    auto* engine = static_cast<TransferEngine*>(self);
    engine->m_timerSet = timeoutMs >= 0;
    engine->m_timerDue = Clock::now() + std::chrono::milliseconds(std::max(0L, timeoutMs));
    return 0;
}

void TransferEngine::Wake() {
    // Fails only when the count would overflow: the poll is woken anyway.
    const std::uint64_t one = 1;
    if (::write(m_wake.Get(), &one, sizeof one) < 0) {
        return;
    }
}

void TransferEngine::Watch(TransferWatcher* watcher) {
    const MutexLock lock(m_mutex);
    // The thread first: should the system refuse it, nothing is watched.
    if (!m_driver.joinable()) {
        m_lastSweep = Clock::now();
        m_driver = std::thread([this] { Drive(); });
    }
    m_watchers.insert(watcher);
    m_watched.notify_all();
}

void TransferEngine::Unwatch(TransferWatcher* watcher) {
    MutexLock lock(m_mutex);
    m_watchers.erase(watcher);
    if (std::this_thread::get_id() == m_driver.get_id()) {
        return; // told now, by this very call's caller
    }
    while (m_telling == watcher) {
        m_watched.wait(lock);
    }
}

void TransferEngine::Signal(TransferWatcher* watcher) {
    // A transfer's callbacks run many times in a round: the same watcher
    // comes in runs, and TellWatchers drops what is left twice.
    if (m_signalled.empty() || m_signalled.back() != watcher) {
        m_signalled.push_back(watcher);
    }
}

void TransferEngine::Drive() {
    MutexLock lock(m_mutex);
    while (!m_stopping) {
        if (m_watchers.empty()) {
            // Callers that wait drive their own transfers meanwhile.
            m_watched.wait(lock);
            continue;
        }
        // Watchers signalled by a round another thread drove are told
        // without waiting on the network first.
        const Clock::time_point now = Clock::now();
        Step(lock, m_signalled.empty() ? now + kSweep : now, true);
        TellWatchers();
    }
}

void TransferEngine::TellWatchers() {
    std::vector<TransferWatcher*> told;
    const Clock::time_point now = Clock::now();
    if (now - m_lastSweep >= kSweep) {
        m_lastSweep = now;
        told.assign(m_watchers.begin(), m_watchers.end());
        m_signalled.clear();
    } else {
        told.swap(m_signalled);
        std::sort(told.begin(), told.end());
        told.erase(std::unique(told.begin(), told.end()), told.end());
    }
    for (TransferWatcher* watcher : told) {
        // One told before may have ended another: only those still watched.
        if (m_stopping || !m_watchers.contains(watcher)) {
            continue;
        }
        m_telling = watcher;
        m_mutex.unlock();
        watcher->OnTransferReady();
        m_mutex.lock();
        m_telling = nullptr;
        m_watched.notify_all();
    }
}

void TransferEngine::Queue(Order order, CURL* easy) {
    m_commands.push_back({order, easy});
    // Only a driver inside its poll needs waking, and not for a removal
    // (the remover carries it out): any other sees the command before it
    // polls. Waking none spares a write to the eventfd (and a read to
    // drain it) per command.
    if (m_polling && order != Order::Remove) {
        Wake();
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
