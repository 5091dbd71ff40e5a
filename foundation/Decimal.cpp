// SPDX-License-Identifier: Apache-2.0
#include "foundation/Decimal.h"

#include <cstdint>

namespace {
bool IsSpace(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}
} // namespace

std::int32_t ParseDecimal(const char16_t* text) {
    while (IsSpace(*text)) {
        ++text;
    }
    const bool negative = *text == u'-';
    if (*text == u'-' || *text == u'+') {
        ++text;
    }
    std::int64_t value = 0;
    for (; *text >= u'0' && *text <= u'9'; ++text) {
        value = value * 10 + (*text - u'0');
        if (value > std::int64_t{INT32_MAX} + 1) {
            value = std::int64_t{INT32_MAX} + 1; // keep reading digits, stay clamped
        }
    }
    if (negative) {
        return static_cast<std::int32_t>(-value < INT32_MIN ? INT32_MIN : -value);
    }
    return static_cast<std::int32_t>(value > INT32_MAX ? INT32_MAX : value);
}
