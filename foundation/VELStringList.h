// SPDX-License-Identifier: Apache-2.0
// CVELStringList: an ordered list of owned CVELString objects.
//
// Emptied elements stay allocated as spares and are reused by later
// insertions, so a list that is emptied and refilled (the attributes of one
// tag after another) allocates only when it outgrows its largest size. The
// pointer array lives in a CVELMemBuf; counts are 16-bit, so a list holds
// at most 32,767 element objects and refuses an insertion past that.
// Sorted-set use: BinarySearch, then InsertAt at the returned index.
#pragma once

#include "foundation/VELMemBuf.h"
#include "foundation/VELString.h"
#include "platform/kernel/WinTypes.h"

#include <cstdint>

class CVELStringList {
  public:
    static constexpr std::int16_t kMaxElements = 32767;

    CVELStringList();
    ~CVELStringList();
    CVELStringList(const CVELStringList&) = delete;
    CVELStringList& operator=(const CVELStringList&) = delete;

    std::int32_t GetCount() const { return m_nCount; }
    /// Element objects owned, live and spare.
    std::int32_t GetAllocated() const { return m_nAllocated; }
    /// Requires 0 <= index < count. The pointer stays valid while the list lives.
    CVELString* GetAt(std::int32_t index) const {
        assert(index >= 0 && index < m_nCount);
        return Elements()[index];
    }
    /// The pointer array: live elements first, then the spares.
    CVELString* const* Elements() const {
        return reinterpret_cast<CVELString* const*>(m_buffer.GetData());
    }

    /// Inserts a copy of `length` units of `text` (−1: to its first zero unit)
    /// as element `index`. Returns FALSE, changing nothing, when the list
    /// already holds 32,767 element objects. Requires 0 <= index <= count.
    BOOL InsertAt(const char16_t* text, std::int32_t index, std::int32_t length = -1);
    /// Element `index` becomes a spare; the elements after it move down.
    /// Requires 0 <= index < count.
    void RemoveAt(std::int32_t index);
    /// Every element becomes a spare; nothing is freed.
    void RemoveAll() { m_nCount = 0; }
    /// Lowest index >= from whose element is exactly `length` units equal to
    /// `text` ignoring A-Z case, or -1.
    std::int32_t FindNoCase(const char16_t* text, std::int32_t from,
                            std::int32_t length = -1) const;
    /// On a list sorted by Compare: `index` gets the first element not less
    /// than `text` (count when none); TRUE when that element equals `text`.
    BOOL BinarySearch(const char16_t* text, std::int32_t& index) const;

  private:
    CVELString** MutableElements() { return reinterpret_cast<CVELString**>(m_buffer.GetData()); }
    CVELString* NewElement(const char16_t* text, std::int32_t length);
    std::int32_t WalkForward(const char16_t* text, std::int32_t p, BOOL& found) const;
    std::int32_t WalkBackward(const char16_t* text, std::int32_t p, BOOL& found) const;

    CVELMemBuf m_buffer;
    std::int16_t m_nCount;
    std::int16_t m_nAllocated;
};
