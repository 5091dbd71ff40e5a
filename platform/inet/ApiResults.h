// SPDX-License-Identifier: Apache-2.0
// How the API calls hand results back: wide text in the caller's buffer
// with two-call sizing, DWORD values, and failures through the last error.
#pragma once

#include "platform/kernel/WinTypes.h"

#include <string>

namespace inet {

/// FALSE with `error` as the thread's last error.
BOOL FailWith(DWORD error);

/// Copies `text` and a terminator into `buffer`, whose size `*length` is in
/// bytes. Too small (or no buffer): ERROR_INSUFFICIENT_BUFFER with the bytes
/// needed in `*length`. Success: `*length` is the text's length in bytes
/// when `lengthInBytes`, else in characters (terminator excluded).
BOOL ReturnText(const std::u16string& text, void* buffer, DWORD* length, bool lengthInBytes);

/// Copies one DWORD; `*length` must be at least 4 (else
/// ERROR_INSUFFICIENT_BUFFER with 4 in `*length`).
BOOL ReturnDword(DWORD value, void* buffer, DWORD* length);

/// A zero-terminated wide text, or empty for null.
std::u16string WideText(const char16_t* text);

/// `length` units of `text`, or up to its zero when `length` is (DWORD)-1.
std::u16string WideText(const char16_t* text, DWORD length);

} // namespace inet
