// SPDX-License-Identifier: Apache-2.0
// Calls a function at a steady pace on a thread of its own for as long as
// it lives: the panel's live line is drawn from here, so the thread that
// crawls only records its figures and never waits for the terminal.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class Ticker {
  public:
    Ticker(std::chrono::milliseconds interval, std::function<void()> tick)
        : m_interval(interval), m_tick(std::move(tick)), m_thread([this] { Loop(); }) {}
    ~Ticker() {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }
    Ticker(const Ticker&) = delete;
    Ticker& operator=(const Ticker&) = delete;

  private:
    void Loop() {
        std::unique_lock lock(m_mutex);
        while (!m_wake.wait_for(lock, m_interval, [this] { return m_stop; })) {
            lock.unlock();
            m_tick();
            lock.lock();
        }
    }

    const std::chrono::milliseconds m_interval;
    const std::function<void()> m_tick;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread; // last: it starts running at once
};
