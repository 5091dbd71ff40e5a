// SPDX-License-Identifier: Apache-2.0
// Small conversions that let tests compare foundation strings with literals.
#pragma once

#include "foundation/VELString.h"

#include <string>

inline std::u16string Str(const CVELString& s) {
    return std::u16string(s.GetData(), static_cast<std::size_t>(s.GetLength()));
}

/// True when the invariants every CVELString keeps after any operation hold.
inline bool WellFormed(const CVELString& s) {
    return s.GetLength() >= 0 && s.GetLength() < s.GetCapacity() &&
           s.GetData()[s.GetLength()] == 0 &&
           (s.GetCapacity() == 256 || (s.GetCapacity() % 256 == 0 && s.GetCapacity() >= 512));
}

/// Widens ASCII text (test URLs and markup) to UTF-16.
inline std::u16string Wide(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}
