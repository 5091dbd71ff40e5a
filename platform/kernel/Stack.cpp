// SPDX-License-Identifier: Apache-2.0
#include "platform/kernel/Stack.h"

#include "platform/kernel/LastError.h"

#include <pthread.h>

#include <cstdint>
#include <exception>

namespace {

/// The low end of the calling thread's stack (stacks grow down), or 0 when
/// the system cannot tell. Asked once per thread: for the main thread the
/// answer costs a read of the process's memory map.
std::uintptr_t StackLowEnd() {
    thread_local const std::uintptr_t low = [] {
        std::uintptr_t end = 0;
        pthread_attr_t attr;
        if (pthread_getattr_np(pthread_self(), &attr) == 0) {
            void* address = nullptr;
            std::size_t size = 0;
            if (pthread_attr_getstack(&attr, &address, &size) == 0) {
                end = reinterpret_cast<std::uintptr_t>(address);
            }
            pthread_attr_destroy(&attr);
        }
        return end;
    }();
    return low;
}

struct Job {
    const std::function<void()>* work;
    std::exception_ptr failure;
    DWORD lastError = 0;
};

void* RunJob(void* argument) {
    auto* job = static_cast<Job*>(argument);
    try {
        (*job->work)();
    } catch (...) {
        job->failure = std::current_exception();
    }
    job->lastError = GetLastError();
    return nullptr;
}

} // namespace

std::size_t StackHeadroom() {
    const std::uintptr_t low = StackLowEnd();
    const auto here = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    if (low == 0) {
        return SIZE_MAX;
    }
    return here > low ? here - low : 0;
}

void RunOnLargeStack(std::size_t bytes, const std::function<void()>& work) {
    Job job{&work, nullptr, 0};
    pthread_attr_t attr;
    pthread_t thread{};
    bool started = false;
    if (pthread_attr_init(&attr) == 0) {
        started = pthread_attr_setstacksize(&attr, bytes) == 0 &&
                  pthread_create(&thread, &attr, &RunJob, &job) == 0;
        pthread_attr_destroy(&attr);
    }
    if (!started) {
        work();
        return;
    }
    pthread_join(thread, nullptr);
    SetLastError(job.lastError);
    if (job.failure) {
        std::rethrow_exception(job.failure);
    }
}
