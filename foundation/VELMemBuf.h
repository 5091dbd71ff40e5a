// SPDX-License-Identifier: Apache-2.0
// CVELMemBuf: the byte-oriented twin of CVELString.
//
// A growable byte array with a 256-byte inline store and the same linear
// growth rule, always followed by a zero byte so that a body holding text
// can be used as a zero-terminated byte string. It holds HTTP response
// bodies and the pointer arrays of string lists. A failed growth throws
// `this` (`CVELMemBuf *`). Buffers are not copied.
#pragma once

#include "foundation/Growth.h"

#include <cassert>
#include <cstdint>

class CVELMemBuf {
  public:
    CVELMemBuf();
    ~CVELMemBuf();
    CVELMemBuf(const CVELMemBuf&) = delete;
    CVELMemBuf& operator=(const CVELMemBuf&) = delete;

    std::uint8_t* GetData() { return m_pData; }
    const std::uint8_t* GetData() const { return m_pData; }
    std::int32_t GetLength() const { return m_nLength; }
    std::int32_t GetCapacity() const { return m_nCapacity; }

    void Empty() { SetLength(0); }
    /// Empties the buffer and gives a heap block back, so a large body no
    /// longer costs memory while its owner lives on.
    void FreeStorage();
    /// Makes the capacity larger than `n`; throws `this` when it cannot.
    void Reserve(std::int32_t n) {
        if (n >= m_nCapacity) {
            Grow(n);
        }
    }
    /// Makes room for `extra` more bytes after the data and its zero byte;
    /// throws `this` when the length would leave the 32-bit range or the
    /// block cannot grow. Requires extra >= 0.
    void ReserveExtra(std::int32_t extra);
    /// Sets the length after a direct write into the storage. Requires n < capacity.
    void SetLength(std::int32_t n) {
        assert(n >= 0 && n < m_nCapacity);
        m_nLength = n;
        m_pData[n] = 0;
    }
    /// Requires 0 <= pos <= length; `bytes` must not point into this buffer.
    void Insert(const void* bytes, std::int32_t pos, std::int32_t n);
    /// Requires 0 <= pos and pos + n <= length.
    void Delete(std::int32_t pos, std::int32_t n);

  private:
    void Grow(std::int32_t n);

    std::uint8_t m_inline[vel::kInlineCapacity];
    std::uint8_t* m_pData;
    std::int32_t m_nLength;
    std::int32_t m_nCapacity;
};
