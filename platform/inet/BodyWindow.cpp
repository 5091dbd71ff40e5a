// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/BodyWindow.h"

#include <algorithm>
#include <cstring>

namespace inet {

namespace {

// The first storage a window takes: one of libcurl's pieces.
constexpr std::size_t kFirstStorage = std::size_t{16} * 1024;

} // namespace

bool BodyWindow::Put(const char* data, std::size_t size) {
    // libcurl hands at most its write size at a time; a larger piece than
    // the capacity is taken into an empty window, which would otherwise
    // stay paused for ever.
    if (size > m_capacity - std::min(m_capacity, Available()) && !Empty()) {
        return false;
    }
    if (size == 0) {
        return true;
    }
    if (size > m_allocated - m_end) {
        MakeRoom(size);
    }
    std::memcpy(m_storage.get() + m_end, data, size);
    m_end += size;
    return true;
}

void BodyWindow::MakeRoom(std::size_t size) {
    const std::size_t needed = Available() + size;
    if (needed <= m_allocated) {
        // Slide the unread bytes to the front to make room at the back.
        std::memmove(m_storage.get(), m_storage.get() + m_begin, Available());
    } else {
        const std::size_t grown =
            std::max(needed, std::min(m_capacity, std::max(kFirstStorage, 2 * m_allocated)));
        auto storage = std::make_unique_for_overwrite<char[]>(grown);
        if (Available() != 0) {
            std::memcpy(storage.get(), m_storage.get() + m_begin, Available());
        }
        m_storage = std::move(storage);
        m_allocated = grown;
    }
    m_end -= m_begin;
    m_begin = 0;
}

std::size_t BodyWindow::Take(char* out, std::size_t size) {
    const std::size_t n = std::min(size, Available());
    if (n == 0) {
        return 0;
    }
    std::memcpy(out, m_storage.get() + m_begin, n);
    m_begin += n;
    if (m_begin == m_end) {
        m_begin = m_end = 0;
    }
    return n;
}

} // namespace inet
