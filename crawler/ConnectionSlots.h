// SPDX-License-Identifier: Apache-2.0
// The connections a crawl may use at once, shared by the walk, the pages
// fetched ahead of it and the resources fetched beside it.
//
// Every fetch holds a slot from its request to the end of its body, so the
// crawl never has more than `--connections` exchanges under way, and the
// internet library (which only opens a connection when no idle one to the
// host is free) never more connections to one host. A thread that waits for
// the walk while it holds a slot (a redirect held until the walk claims its
// fetch) lends the slot back meanwhile: the walk may need it to get there.
#pragma once

#include "platform/kernel/ThreadSafety.h"

#include <condition_variable>
#include <cstdint>

class CConnectionSlots {
  public:
    explicit CConnectionSlots(std::int32_t slots);

    /// Holds one slot of `slots` for its lifetime; with nullptr, none. A
    /// thread holds one slot at most.
    class Held {
      public:
        explicit Held(CConnectionSlots* slots);
        ~Held();
        Held(const Held&) = delete;
        Held& operator=(const Held&) = delete;

      private:
        CConnectionSlots* m_pSlots;
    };

    /// Gives the calling thread's slot back for its lifetime, if it holds
    /// one, and takes one again at its end.
    class Lent {
      public:
        Lent();
        ~Lent();
        Lent(const Lent&) = delete;
        Lent& operator=(const Lent&) = delete;

      private:
        CConnectionSlots* m_pSlots;
    };

  private:
    void Acquire() DRAVIK_EXCLUDES(m_mutex);
    void Release() DRAVIK_EXCLUDES(m_mutex);

    AnnotatedMutex m_mutex;
    std::condition_variable_any m_freed;
    std::int32_t m_nFree DRAVIK_GUARDED_BY(m_mutex);
};
