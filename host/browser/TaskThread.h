// SPDX-License-Identifier: Apache-2.0
// One thread that runs the tasks posted to it, in order: the thread the
// browser panels' UI model lives on. Stopping it waits for the task that
// runs and drops those that wait.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class TaskThread {
  public:
    /// Starts the thread; `setup` runs on it first and lives until it ends
    /// (it returns what must stay in place while tasks run).
    explicit TaskThread(std::function<std::function<void()>(void)> setup);
    ~TaskThread();
    TaskThread(const TaskThread&) = delete;
    TaskThread& operator=(const TaskThread&) = delete;

    void Post(std::function<void()> task);

  private:
    void Loop(const std::function<std::function<void()>(void)>& setup);

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks;
    bool m_stop = false;
    std::thread m_thread;
};
