// SPDX-License-Identifier: Apache-2.0
#include "platform/kernel/FaultInjection.h"

#include <atomic>

namespace {

// Constant-initialised, so a hook installed by another library's static
// constructor is never overwritten by this one's.
std::atomic<FaultHook> g_hook{nullptr};

} // namespace

void SetFaultHook(FaultHook hook) {
    g_hook.store(hook, std::memory_order_release);
}

bool FaultInjected(std::string_view step) {
    const FaultHook hook = g_hook.load(std::memory_order_acquire);
    return hook != nullptr && !step.empty() && hook(step);
}
