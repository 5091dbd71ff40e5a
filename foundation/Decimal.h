// SPDX-License-Identifier: Apache-2.0
// Decimal text to a 32-bit integer, by the C runtime's wide conversion rules.
//
// Leading white space is skipped, an optional sign is taken, then decimal
// digits up to the first other unit; no digits give 0. Values beyond the
// 32-bit range clamp to its ends, as a 32-bit `wcstol` does.
#pragma once

#include <cstdint>

std::int32_t ParseDecimal(const char16_t* text);
