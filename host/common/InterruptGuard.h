// SPDX-License-Identifier: Apache-2.0
// Ctrl-C, SIGTERM and a closed terminal (SIGHUP) for a command that writes
// the URL cache.
//
// The cache keeps the latest entries waiting in memory for a few
// milliseconds before it commits them; a signal's default action would
// lose them. While a guard lives the three signals are blocked in every
// thread and taken by a thread of the guard's own. When one arrives it
// commits the waiting entries, runs the steps registered with
// InterruptStep (the terminal put back, a scratch folder removed), says on
// standard error what was kept and leaves with the conventional status,
// 128 plus the signal's number (130 for SIGINT, 143 for SIGTERM).
//
// The guard must be made before the command starts any thread: a thread
// inherits the signal mask it is started with. Guards nest; only the
// outermost one waits for signals and speaks, with its prefix.
#pragma once

#include <functional>
#include <string>

class InterruptGuard {
  public:
    explicit InterruptGuard(std::string prefix);
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

  private:
    bool m_outermost = false;
};

/// Something to do when a guard's signal ends the process, for as long as
/// this object lives. `step` may return words for the guard's closing line
/// (empty: nothing to add). Steps run last registered first, on the guard's
/// thread, after the cache's waiting entries are committed.
class InterruptStep {
  public:
    explicit InterruptStep(std::function<std::string()> step);
    ~InterruptStep();
    InterruptStep(const InterruptStep&) = delete;
    InterruptStep& operator=(const InterruptStep&) = delete;

  private:
    std::size_t m_id;
};
