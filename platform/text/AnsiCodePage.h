// SPDX-License-Identifier: Apache-2.0
// The system's ANSI code page: Windows-1252 with a byte-exact round trip.
//
// Every byte maps to exactly one UTF-16 unit. The five bytes that
// Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the
// code points of the same number, so bytes -> units -> bytes gives back the
// original bytes for any input, zero bytes included.
#pragma once

#include "platform/kernel/WinTypes.h"

constexpr UINT CP_ACP = 0;
constexpr UINT CP_1252 = 1252;

/// Converts `srcLength` bytes (−1: up to and including the first zero byte)
/// into UTF-16 units. With `dstLength` 0 only the number of units needed is
/// returned. Returns the units written, or 0 with the last error set
/// (ERROR_INSUFFICIENT_BUFFER when `dst` is too small, ERROR_INVALID_PARAMETER
/// for another code page or bad arguments). `flags` must be 0.
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* src, int srcLength, char16_t* dst,
                        int dstLength);

/// The unit for one byte; never fails.
char16_t AnsiByteToUnit(unsigned char byte);

/// The byte for one unit, or -1 when the code page has none.
int AnsiUnitToByte(char16_t unit);
