// SPDX-License-Identifier: Apache-2.0
// Basic integer and handle types of the platform layer.
//
// The core is written against the calling conventions of a Windows control:
// 32-bit integers as truth values, unsigned double words for flags, 64-bit
// file times. These aliases keep those sizes exact on Linux.
#pragma once

#include <cstdint>

using BOOL = std::int32_t;
using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using UINT = std::uint32_t;
using INTERNET_PORT = std::uint16_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using BYTE = std::uint8_t;
/// A locale identifier: 0x409 (1033) is English (United States).
using LCID = DWORD;
/// Message parameters and results of window messages.
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

/// An opaque handle of a kernel or library object (a cache stream or
/// enumeration).
using HANDLE = void*;

/// An opaque window handle. Front ends that show no window pass null.
using HWND = void*;
/// A loaded module (shared library or the program itself): the address it
/// is mapped at.
struct HINSTANCE__;
using HMODULE = HINSTANCE__*;
using HINSTANCE = HMODULE;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

/// A 64-bit count of 100-nanosecond intervals since 1 January 1601 UTC,
/// stored as its low half followed by its high half.
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
