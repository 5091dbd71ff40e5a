// SPDX-License-Identifier: Apache-2.0
// The heap functions behind every growable foundation type.
//
// Strings, buffers and list elements take their heap blocks through these
// two pointers so that tests can make an allocation fail on purpose and see
// the failure travel as callers expect: a thrown pointer to the object that
// could not grow. Growth is the slow path already, so the indirection costs
// nothing measurable.
#pragma once

#include <cstddef>

namespace vel {

struct AllocHooks {
    void* (*allocate)(std::size_t size);
    void* (*reallocate)(void* block, std::size_t size);
};

/// Installs `hooks` and returns the ones they replace. Not thread-safe: meant
/// for tests that run one thread at a time.
AllocHooks SetAllocHooks(AllocHooks hooks);

void* Allocate(std::size_t size);
void* Reallocate(void* block, std::size_t size);
void Free(void* block);

} // namespace vel
