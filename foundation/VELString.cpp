// SPDX-License-Identifier: Apache-2.0
#include "foundation/VELString.h"

#include "foundation/TextUnits.h"
#include "foundation/VELMemBuf.h"
#include "platform/text/AnsiCodePage.h"

#include <cstdint>
#include <cstring>
#include <functional>

namespace {

std::int32_t LengthOf(const char16_t* text, std::int32_t length) {
    return length == -1 ? vel::TextLength(text) : length;
}

void MoveUnits(char16_t* dst, const char16_t* src, std::int32_t count) {
    if (count > 0) {
        std::memmove(dst, src, static_cast<std::size_t>(count) * sizeof(char16_t));
    }
}

} // namespace

CVELString::CVELString() : m_pData(m_inline), m_nLength(0), m_nCapacity(vel::kInlineCapacity) {
    m_inline[0] = 0;
}

CVELString::CVELString(const char16_t* text, std::int32_t length) : CVELString() {
    if (text == nullptr) {
        assert(length <= 0);
        return;
    }
    Assign(text, length);
}

CVELString::CVELString(const CVELString& other) : CVELString() {
    Assign(other.m_pData, other.m_nLength);
}

CVELString::CVELString(const CVELMemBuf& bytes) : CVELString() {
    const std::int32_t n = bytes.GetLength();
    Reserve(n);
    if (n > 0) {
        MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(bytes.GetData()), n, m_pData,
                            n);
    }
    SetLength(n);
}

CVELString::~CVELString() {
    vel::ReleaseBlock(m_pData, m_inline);
}

CVELString& CVELString::operator=(const CVELString& other) {
    if (this != &other) {
        Assign(other.m_pData, other.m_nLength);
    }
    return *this;
}

void CVELString::Grow(std::int32_t n) {
    const std::int32_t capacity = n < 0 ? 0 : vel::NextCapacity(n);
    void* block = capacity == 0
                      ? nullptr
                      : vel::GrowBlock(m_pData, m_inline, m_nLength, capacity, sizeof(char16_t));
    if (block == nullptr) {
        vel::NoteGrowthFailure(capacity == 0);
        throw this;
    }
    m_pData = static_cast<char16_t*>(block);
    m_nCapacity = capacity;
}

const char16_t* CVELString::ReserveFor(std::int32_t n, const char16_t* text) {
    if (n < m_nCapacity) {
        return text;
    }
    const bool inside = PointsInto(text);
    const std::ptrdiff_t offset = text - m_pData;
    Grow(n);
    return inside ? m_pData + offset : text;
}

bool CVELString::PointsInto(const char16_t* text) const {
    // std::less gives a total order even for pointers into unrelated objects.
    const std::less<const char16_t*> before;
    return !before(text, m_pData) && before(text, m_pData + m_nCapacity);
}

void CVELString::CheckSum(std::int32_t added) {
    // A length past the 32-bit range cannot be stored: report it like any
    // other growth that cannot be satisfied.
    if (!vel::FitsAfter(m_nLength, added)) {
        vel::NoteGrowthFailure(true);
        throw this;
    }
}

void CVELString::Assign(const char16_t* text, std::int32_t length) {
    length = LengthOf(text, length);
    text = ReserveFor(length, text);
    MoveUnits(m_pData, text, length);
    SetLength(length);
}

void CVELString::Assign(const CVELString& other) {
    if (&other != this) {
        Assign(other.m_pData, other.m_nLength);
    }
}

void CVELString::Append(const char16_t* text, std::int32_t length) {
    length = LengthOf(text, length);
    CheckSum(length);
    text = ReserveFor(m_nLength + length, text);
    MoveUnits(m_pData + m_nLength, text, length);
    SetLength(m_nLength + length);
}

void CVELString::Append(const CVELString& other) {
    assert(&other != this);
    Append(other.m_pData, other.m_nLength);
}

void CVELString::AppendChar(char16_t ch) {
    CheckSum(1);
    Reserve(m_nLength + 1);
    m_pData[m_nLength] = ch;
    SetLength(m_nLength + 1);
}

void CVELString::Insert(const char16_t* text, std::int32_t pos, std::int32_t length) {
    assert(pos >= 0 && pos <= m_nLength);
    length = LengthOf(text, length);
    CheckSum(length);
    if (PointsInto(text)) {
        // Inserting a part of itself: the move below would shift the source.
        const CVELString copy(text, length);
        Insert(copy.m_pData, pos, length);
        return;
    }
    Reserve(m_nLength + length);
    MoveUnits(m_pData + pos + length, m_pData + pos, m_nLength - pos);
    MoveUnits(m_pData + pos, text, length);
    SetLength(m_nLength + length);
}

void CVELString::Delete(std::int32_t pos, std::int32_t count) {
    assert(pos >= 0 && count >= 0 && pos + count <= m_nLength);
    MoveUnits(m_pData + pos, m_pData + pos + count, m_nLength - pos - count);
    SetLength(m_nLength - count);
}

void CVELString::Truncate(std::int32_t n) {
    assert(n >= 0);
    if (n < m_nLength) {
        SetLength(n);
    }
}

void CVELString::KeepMid(std::int32_t pos, std::int32_t count) {
    assert(pos >= 0);
    if (pos >= m_nLength) {
        Empty();
        return;
    }
    std::int32_t kept = m_nLength - pos;
    if (count != -1 && count < kept) {
        kept = count;
    }
    MoveUnits(m_pData, m_pData + pos, kept);
    SetLength(kept);
}

void CVELString::MakeUpper() {
    for (std::int32_t i = 0; i < m_nLength; ++i) {
        m_pData[i] = vel::UpperCase(m_pData[i]);
    }
}

std::int32_t CVELString::Find(char16_t ch, std::int32_t from) const {
    assert(from >= 0 && from <= m_nLength);
    return vel::FindUnit(m_pData, from, m_nLength, ch);
}

std::int32_t CVELString::Find(const char16_t* text, std::int32_t from) const {
    assert(from >= 0 && from <= m_nLength);
    if (text[0] == 0) {
        return from;
    }
    for (const char16_t* p = m_pData + from; *p != 0; ++p) {
        std::int32_t i = 0;
        while (text[i] != 0 && p[i] == text[i]) {
            ++i;
        }
        if (text[i] == 0) {
            return static_cast<std::int32_t>(p - m_pData);
        }
    }
    return -1;
}

std::int32_t CVELString::ReverseFind(char16_t ch) const {
    if (ch == 0) {
        return m_nLength;
    }
    std::int32_t found = -1;
    for (std::int32_t i = 0; m_pData[i] != 0; ++i) {
        if (m_pData[i] == ch) {
            found = i;
        }
    }
    return found;
}

int CVELString::CompareNoCase(const char16_t* text) const {
    return vel::CompareNoCase(m_pData, text);
}
