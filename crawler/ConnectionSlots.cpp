// SPDX-License-Identifier: Apache-2.0
#include "crawler/ConnectionSlots.h"

#include <algorithm>

namespace {

/// The slots the calling thread holds one of, if any.
thread_local CConnectionSlots* t_heldOf = nullptr;

} // namespace

CConnectionSlots::CConnectionSlots(std::int32_t slots)
    : m_nFree(std::max(slots, std::int32_t{1})) {}

void CConnectionSlots::Acquire() {
    MutexLock lock(m_mutex);
    ++m_nWaiting;
    while (m_nFree == 0) {
        m_freed.wait(lock);
    }
    --m_nWaiting;
    --m_nFree;
}

bool CConnectionSlots::TryAcquire() {
    const MutexLock lock(m_mutex);
    if (m_nFree <= m_nWaiting) {
        return false;
    }
    --m_nFree;
    return true;
}

void CConnectionSlots::Release() {
    {
        const MutexLock lock(m_mutex);
        ++m_nFree;
    }
    m_freed.notify_one();
    if (m_freedHook) {
        m_freedHook();
    }
}

CConnectionSlots::Held::Held(CConnectionSlots* slots)
    : m_pSlots(t_heldOf == nullptr ? slots : nullptr) {
    if (m_pSlots != nullptr) {
        m_pSlots->Acquire();
        t_heldOf = m_pSlots;
    }
}

CConnectionSlots::Held::~Held() {
    if (m_pSlots != nullptr) {
        t_heldOf = nullptr;
        m_pSlots->Release();
    }
}
