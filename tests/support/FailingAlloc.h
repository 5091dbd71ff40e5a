// SPDX-License-Identifier: Apache-2.0
// Makes the foundation's heap functions fail while an object of this type
// lives, optionally after letting a number of allocations through.
#pragma once

#include "foundation/AllocHooks.h"

#include <cstdlib>

class ScopedAllocFailure {
  public:
    explicit ScopedAllocFailure(int allowed = 0) {
        s_allowed = allowed;
        m_previous = vel::SetAllocHooks({&Allocate, &Reallocate});
    }
    ~ScopedAllocFailure() { vel::SetAllocHooks(m_previous); }
    ScopedAllocFailure(const ScopedAllocFailure&) = delete;
    ScopedAllocFailure& operator=(const ScopedAllocFailure&) = delete;

    /// The size of the last block refused.
    static std::size_t LastRefused() { return s_refused; }

  private:
    static bool Allowed(std::size_t n) {
        if (s_allowed-- > 0) {
            return true;
        }
        s_refused = n;
        return false;
    }
    static void* Allocate(std::size_t n) { return Allowed(n) ? std::malloc(n) : nullptr; }
    static void* Reallocate(void* p, std::size_t n) {
        return Allowed(n) ? std::realloc(p, n) : nullptr;
    }

    static inline int s_allowed = 0;
    static inline std::size_t s_refused = 0;
    vel::AllocHooks m_previous;
};
