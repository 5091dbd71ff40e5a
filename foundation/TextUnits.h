// SPDX-License-Identifier: Apache-2.0
// Helpers on zero-terminated UTF-16 text, in the orders the system uses.
//
// Case-insensitive comparisons fold only the letters A to Z; every other
// unit compares as an unsigned 16-bit number, so the results do not depend
// on any locale.
#pragma once

#include <cstdint>

namespace vel {

constexpr char16_t FoldCase(char16_t c) {
    return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
}
constexpr char16_t UpperCase(char16_t c) {
    return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c;
}

/// Number of units before the first zero unit.
std::int32_t TextLength(const char16_t* text);

/// Unit-by-unit comparison up to the first zero unit (the order of wcscmp).
int Compare(const char16_t* a, const char16_t* b);

/// As Compare, with A to Z folded onto a to z (the order of _wcsicmp).
int CompareNoCase(const char16_t* a, const char16_t* b);

/// Folded comparison of exactly `count` units; zero units compare like any other.
bool EqualNoCase(const char16_t* a, const char16_t* b, std::int32_t count);

/// Index of the first `ch` in units [from, end), or -1.
std::int32_t FindUnit(const char16_t* text, std::int32_t from, std::int32_t end, char16_t ch);

} // namespace vel
