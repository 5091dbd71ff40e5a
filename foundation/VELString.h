// SPDX-License-Identifier: Apache-2.0
// CVELString: the system's one text type.
//
// A growable string of UTF-16 code units with a 256-unit inline store, so
// the short texts that make up nearly all of the work (URLs, header values,
// attribute values, configuration keys) never touch the heap. Heap growth
// is linear, in steps of 256 units, and the text is always followed by a
// zero unit. Copies copy the text. A failed growth throws `this`
// (`CVELString *`). Positions and counts are the caller's duty: they are
// asserted in debug builds and never checked in release builds.
#pragma once

#include "foundation/Growth.h"

#include <cassert>
#include <cstdint>

class CVELMemBuf;

class CVELString {
  public:
    CVELString();
    /// Copies `length` units of `text` (−1: up to its first zero unit).
    explicit CVELString(const char16_t* text, std::int32_t length = -1);
    CVELString(const CVELString& other);
    /// Converts every byte of `bytes` from the ANSI code page, one unit per byte.
    explicit CVELString(const CVELMemBuf& bytes);
    ~CVELString();

    CVELString& operator=(const CVELString& other);

    char16_t* GetData() { return m_pData; }
    const char16_t* GetData() const { return m_pData; }
    std::int32_t GetLength() const { return m_nLength; }
    std::int32_t GetCapacity() const { return m_nCapacity; }

    void Empty() { SetLength(0); }
    /// Sets the length after a direct write into the storage. Requires n < capacity.
    void SetLength(std::int32_t n) {
        assert(n >= 0 && n < m_nCapacity);
        m_nLength = n;
        m_pData[n] = 0;
    }
    /// Makes the capacity larger than `n`; throws `this` when it cannot.
    void Reserve(std::int32_t n) {
        if (n >= m_nCapacity) {
            Grow(n);
        }
    }

    void Assign(const char16_t* text, std::int32_t length = -1);
    void Assign(const CVELString& other);
    void Append(const char16_t* text, std::int32_t length = -1);
    /// Requires `other` to be a different object.
    void Append(const CVELString& other);
    void AppendChar(char16_t ch);
    /// Requires 0 <= pos <= length.
    void Insert(const char16_t* text, std::int32_t pos, std::int32_t length = -1);
    /// Requires 0 <= pos and pos + count <= length.
    void Delete(std::int32_t pos, std::int32_t count);
    /// Shortens to `n` units; never lengthens.
    void Truncate(std::int32_t n);
    /// Keeps at most `count` units (−1: all) from `pos` on.
    void KeepMid(std::int32_t pos, std::int32_t count = -1);
    /// Folds a to z onto A to Z; every other unit stays.
    void MakeUpper();

    /// First `ch` at or after `from`, scanning by the length. Requires 0 <= from <= length.
    std::int32_t Find(char16_t ch, std::int32_t from = 0) const;
    /// First occurrence of the zero-terminated `text` at or after `from`,
    /// searching up to the first zero unit; an empty `text` gives `from`.
    std::int32_t Find(const char16_t* text, std::int32_t from = 0) const;
    /// Last `ch` in the zero-terminated text; `ch` 0 gives the length.
    std::int32_t ReverseFind(char16_t ch) const;
    /// Negative, 0 or positive; only A to Z fold.
    int CompareNoCase(const char16_t* text) const;

  private:
    void Grow(std::int32_t n);
    void CheckSum(std::int32_t added);
    bool PointsInto(const char16_t* text) const;
    /// Reserves room for `n` units; returns `text` rebased when it pointed into
    /// this string's own storage, so appending a part of itself stays safe.
    const char16_t* ReserveFor(std::int32_t n, const char16_t* text);

    char16_t m_inline[vel::kInlineCapacity];
    char16_t* m_pData;
    std::int32_t m_nLength;
    std::int32_t m_nCapacity;
};
