// SPDX-License-Identifier: Apache-2.0
#include "foundation/VELMemBuf.h"

#include <cstdint>
#include <cstring>

CVELMemBuf::CVELMemBuf() : m_pData(m_inline), m_nLength(0), m_nCapacity(vel::kInlineCapacity) {
    m_inline[0] = 0;
}

CVELMemBuf::~CVELMemBuf() {
    vel::ReleaseBlock(m_pData, m_inline);
}

void CVELMemBuf::FreeStorage() {
    vel::ReleaseBlock(m_pData, m_inline);
    m_pData = m_inline;
    m_nCapacity = vel::kInlineCapacity;
    SetLength(0);
}

void CVELMemBuf::Grow(std::int32_t n) {
    const std::int32_t capacity = vel::NextCapacity(n);
    void* block =
        capacity == 0 ? nullptr : vel::GrowBlock(m_pData, m_inline, m_nLength, capacity, 1);
    if (block == nullptr) {
        vel::NoteGrowthFailure(capacity == 0);
        throw this;
    }
    m_pData = static_cast<std::uint8_t*>(block);
    m_nCapacity = capacity;
}

void CVELMemBuf::ReserveExtra(std::int32_t extra) {
    if (!vel::FitsAfter(m_nLength, extra)) {
        vel::NoteGrowthFailure(true);
        throw this;
    }
    Reserve(m_nLength + extra);
}

void CVELMemBuf::Insert(const void* bytes, std::int32_t pos, std::int32_t n) {
    assert(pos >= 0 && pos <= m_nLength && n >= 0);
    ReserveExtra(n);
    if (pos < m_nLength) {
        std::memmove(m_pData + pos + n, m_pData + pos, static_cast<std::size_t>(m_nLength - pos));
    }
    if (n > 0) {
        std::memcpy(m_pData + pos, bytes, static_cast<std::size_t>(n));
    }
    SetLength(m_nLength + n);
}

void CVELMemBuf::Delete(std::int32_t pos, std::int32_t n) {
    assert(pos >= 0 && n >= 0 && pos + n <= m_nLength);
    std::memmove(m_pData + pos, m_pData + pos + n, static_cast<std::size_t>(m_nLength - pos - n));
    SetLength(m_nLength - n);
}
