// SPDX-License-Identifier: Apache-2.0
#include "foundation/AllocHooks.h"

#include <cstdlib>

namespace vel {
namespace {
AllocHooks g_hooks = {&std::malloc, &std::realloc};
}

AllocHooks SetAllocHooks(AllocHooks hooks) {
    const AllocHooks previous = g_hooks;
    g_hooks = hooks;
    return previous;
}

void* Allocate(std::size_t size) {
    return g_hooks.allocate(size);
}

void* Reallocate(void* block, std::size_t size) {
    return g_hooks.reallocate(block, size);
}

void Free(void* block) {
    std::free(block);
}

} // namespace vel
