// SPDX-License-Identifier: Apache-2.0
// The invariants every fuzzer checks on the strings it gets back, and the
// way it stops when one does not hold.
#pragma once

#include "foundation/VELString.h"

#include <cstdint>

namespace fuzzcheck {

inline void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

/// The terminator follows the text and the length stays below the capacity.
inline void CheckTerminated(const CVELString& s) {
    Check(s.GetLength() >= 0 && s.GetLength() < s.GetCapacity());
    Check(s.GetData()[s.GetLength()] == 0);
}

/// Unit-by-unit equality over the whole length, zero units included.
inline bool SameText(const CVELString& a, const CVELString& b) {
    if (a.GetLength() != b.GetLength()) {
        return false;
    }
    for (std::int32_t i = 0; i < a.GetLength(); ++i) {
        if (a.GetData()[i] != b.GetData()[i]) {
            return false;
        }
    }
    return true;
}

} // namespace fuzzcheck
