// SPDX-License-Identifier: Apache-2.0
#include "host/browser/TaskThread.h"

TaskThread::TaskThread(std::function<std::function<void()>(void)> setup)
    : m_thread([this, setup = std::move(setup)] { Loop(setup); }) {}

TaskThread::~TaskThread() {
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void TaskThread::Post(std::function<void()> task) {
    {
        const std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    m_wake.notify_one();
}

void TaskThread::Loop(const std::function<std::function<void()>(void)>& setup) {
    // Whatever setup installs stays until its undo runs, on this thread.
    const std::function<void()> undo = setup();
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || !m_tasks.empty(); });
            if (m_stop) {
                break;
            }
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        task();
    }
    if (undo) {
        undo();
    }
}
