// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/BodyWindow.h"

#include <algorithm>
#include <cstring>

namespace inet {

bool BodyWindow::Put(const char* data, std::size_t size) {
    if (Empty() && size > m_storage.size()) {
        // libcurl hands at most its write size at a time; a larger piece
        // would otherwise stay paused for ever.
        m_storage.resize(size);
    }
    if (size > m_storage.size() - Available()) {
        return false;
    }
    if (size == 0) {
        return true;
    }
    if (size > m_storage.size() - m_end) {
        // Slide the unread bytes to the front to make room at the back.
        std::memmove(m_storage.data(), m_storage.data() + m_begin, Available());
        m_end -= m_begin;
        m_begin = 0;
    }
    std::memcpy(m_storage.data() + m_end, data, size);
    m_end += size;
    return true;
}

std::size_t BodyWindow::Take(char* out, std::size_t size) {
    const std::size_t n = std::min(size, Available());
    if (n == 0) {
        return 0;
    }
    std::memcpy(out, m_storage.data() + m_begin, n);
    m_begin += n;
    if (m_begin == m_end) {
        m_begin = m_end = 0;
    }
    return n;
}

} // namespace inet
