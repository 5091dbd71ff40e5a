// SPDX-License-Identifier: Apache-2.0
// The growth rule shared by CVELString and CVELMemBuf.
//
// Both keep a 256-unit inline store and move to a heap block, grown in
// steps of 256 units, when a wanted length no longer fits. The arithmetic
// and the block handling live here once, independent of the unit size; the
// two classes only say which object to throw when it fails.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vel {

constexpr std::int32_t kInlineCapacity = 256;
constexpr std::int32_t kGrowthStep = 256;

/// The capacity that holds `wanted` units and a terminator: the next
/// multiple of 256 above wanted + 1. Returns 0 when that does not fit in a
/// signed 32-bit capacity. Requires wanted >= 0.
std::int32_t NextCapacity(std::int32_t wanted);

/// Moves or resizes storage to `newCapacity` units of `unitSize` bytes.
/// Inline storage (`data == inlineStore`) is copied, `length` units and the
/// terminator after them, into a new block; a heap block is reallocated.
/// Returns the new block, or null when the allocation failed, in which case
/// the old storage is untouched.
void* GrowBlock(void* data, const void* inlineStore, std::int32_t length, std::int32_t newCapacity,
                std::size_t unitSize);

/// Releases storage that is not the inline store.
void ReleaseBlock(void* data, const void* inlineStore);

/// True when `length` + `added` units and a terminator still fit a signed
/// 32-bit capacity. Every sum of a length and a count goes through here
/// before it reaches Reserve: a sum that wrapped would reserve nothing.
/// Requires length >= 0 and added >= 0.
bool FitsAfter(std::int32_t length, std::int32_t added);

/// Sets the calling thread's last error to why a growth failed, for the
/// report of whoever catches the thrown pointer: the size did not fit the
/// 32-bit range (ERROR_ARITHMETIC_OVERFLOW) or the heap refused the block
/// (ERROR_NOT_ENOUGH_MEMORY).
void NoteGrowthFailure(bool tooLarge);

} // namespace vel
