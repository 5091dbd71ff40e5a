// SPDX-License-Identifier: Apache-2.0
// Conversion between the UTF-16 text of the platform calls and UTF-8 bytes.
//
// Files written by the platform layer hold UTF-8; the calls above it speak
// UTF-16. Both directions are total: ill-formed input never fails, it turns
// into U+FFFD, so a damaged file still reads and the rest of it survives.
#pragma once

#include <string>
#include <string_view>

/// Decodes UTF-8 bytes. Each maximal ill-formed subsequence (a stray
/// continuation byte, a cut sequence, an overlong form, an encoded surrogate,
/// a value above U+10FFFF) becomes one U+FFFD, as Unicode recommends, so
/// that a bad byte never swallows the good characters after it.
std::u16string Utf8ToUtf16(std::string_view bytes);

/// Encodes UTF-16 units; surrogate pairs become four-byte sequences and a
/// lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view units);
