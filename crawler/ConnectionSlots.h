// SPDX-License-Identifier: Apache-2.0
// The connections a crawl may use at once, shared by the walk, the pages
// fetched ahead of it and the resources fetched beside it.
//
// Every fetch holds a slot from its request to the end of its body, so the
// crawl never has more than `--connections` exchanges under way, and the
// internet library (which only opens a connection when no idle one to the
// host is free) never more connections to one host. A fetch that waits for
// the walk or another fetch while it holds a slot (a redirect held until the
// walk claims its page) gives the slot back meanwhile: what it waits for
// may need it to get there.
#pragma once

#include "platform/kernel/ThreadSafety.h"

#include <condition_variable>
#include <cstdint>
#include <functional>

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

    /// For a fetch no thread waits for: takes a slot when one is free and
    /// no thread waits for one (threads are served first: the walk is one).
    [[nodiscard]] bool TryAcquire() DRAVIK_EXCLUDES(m_mutex);
    /// Gives back a slot TryAcquire took.
    void Release() DRAVIK_EXCLUDES(m_mutex);
    /// `freed` is called, on the releasing thread with no lock held, after
    /// every slot given back. Set before any slot is taken.
    void OnFree(std::function<void()> freed) { m_freedHook = std::move(freed); }

  private:
    void Acquire() DRAVIK_EXCLUDES(m_mutex);

    AnnotatedMutex m_mutex;
    std::condition_variable_any m_freed;
    std::int32_t m_nFree DRAVIK_GUARDED_BY(m_mutex);
    std::int32_t m_nWaiting DRAVIK_GUARDED_BY(m_mutex) = 0; // threads in Acquire
    std::function<void()> m_freedHook;
};
