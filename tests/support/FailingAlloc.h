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

  private:
    static bool Allowed() { return s_allowed-- > 0; }
    static void* Allocate(std::size_t n) { return Allowed() ? std::malloc(n) : nullptr; }
    static void* Reallocate(void* p, std::size_t n) {
        return Allowed() ? std::realloc(p, n) : nullptr;
    }

    static inline int s_allowed = 0;
    vel::AllocHooks m_previous;
};
