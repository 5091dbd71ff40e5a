// SPDX-License-Identifier: Apache-2.0
#include "host/common/InterruptGuard.h"

#include "host/common/RunReport.h"
#include "platform/cache/UrlCacheStore.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace {

// Sent by the guard to its own thread, with this value, to end the wait.
constexpr int kStopValue = 0x44524156;

struct GuardState {
    std::mutex mutex;
    int depth = 0;
    std::string prefix;
    std::thread waiter;
    sigset_t previous{};
    std::vector<std::pair<std::size_t, std::function<std::string()>>> steps;
    std::size_t nextStep = 0;
};

// Never destroyed: the guard's thread may still read it while the process
// ends.
GuardState& State() {
    static GuardState* const state = new GuardState();
    return *state;
}

sigset_t Watched() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

const char* SignalName(int signal) {
    switch (signal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    default:
        return "SIGHUP";
    }
}

std::string WhatWasKept() {
    UrlCacheFailure failure;
    if (urlcache::EndEntryBatches(&failure)) {
        return "what was fetched so far is kept in the URL cache";
    }
    return "the entries of the last moments could not be kept in the URL cache: " +
           CacheFailureText(failure);
}

[[noreturn]] void Leave(int signal) {
    std::string line = WhatWasKept();
    GuardState& state = State();
    {
        // Held to the end: no step goes away while it runs.
        state.mutex.lock();
        for (auto step = state.steps.rbegin(); step != state.steps.rend(); ++step) {
            const std::string words = step->second();
            if (!words.empty()) {
                line += "; " + words;
            }
        }
    }
    // A progress line may stand unfinished on a terminal.
    line = (::isatty(STDERR_FILENO) != 0 ? "\n" : "") + state.prefix + "interrupted by " +
           SignalName(signal) + "; " + line + "\n";
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
    std::_Exit(128 + signal);
}

void Wait() {
    const sigset_t watched = Watched();
    for (;;) {
        siginfo_t info{};
        const int signal = ::sigwaitinfo(&watched, &info);
        if (signal < 0) {
            continue; // interrupted by another signal
        }
        if (info.si_code == SI_QUEUE && info.si_pid == ::getpid() &&
            info.si_value.sival_int == kStopValue) {
            return;
        }
        Leave(signal);
    }
}

} // namespace

InterruptGuard::InterruptGuard(std::string prefix) {
    GuardState& state = State();
    const std::lock_guard lock(state.mutex);
    m_outermost = state.depth++ == 0;
    if (!m_outermost) {
        return;
    }
    state.prefix = std::move(prefix);
    const sigset_t watched = Watched();
    pthread_sigmask(SIG_BLOCK, &watched, &state.previous);
    state.waiter = std::thread(&Wait);
}

InterruptGuard::~InterruptGuard() {
    GuardState& state = State();
    std::thread waiter;
    {
        const std::lock_guard lock(state.mutex);
        --state.depth;
        if (!m_outermost) {
            return;
        }
        waiter = std::move(state.waiter);
    }
    // Waits for the thread, which may be ending the process on a signal
    // that came just now.
    sigval stop{};
    stop.sival_int = kStopValue;
    pthread_sigqueue(waiter.native_handle(), SIGTERM, stop);
    waiter.join();
    pthread_sigmask(SIG_SETMASK, &state.previous, nullptr);
}

InterruptStep::InterruptStep(std::function<std::string()> step) {
    GuardState& state = State();
    const std::lock_guard lock(state.mutex);
    m_id = state.nextStep++;
    state.steps.emplace_back(m_id, std::move(step));
}

InterruptStep::~InterruptStep() {
    GuardState& state = State();
    const std::lock_guard lock(state.mutex);
    std::erase_if(state.steps, [this](const auto& step) { return step.first == m_id; });
}
