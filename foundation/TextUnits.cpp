// SPDX-License-Identifier: Apache-2.0
#include "foundation/TextUnits.h"

namespace vel {

std::int32_t TextLength(const char16_t* text) {
    std::int32_t n = 0;
    while (text[n] != 0) {
        ++n;
    }
    return n;
}

int Compare(const char16_t* a, const char16_t* b) {
    while (*a != 0 && *a == *b) {
        ++a;
        ++b;
    }
    return int(*a) - int(*b);
}

int CompareNoCase(const char16_t* a, const char16_t* b) {
    while (*a != 0 && FoldCase(*a) == FoldCase(*b)) {
        ++a;
        ++b;
    }
    return int(FoldCase(*a)) - int(FoldCase(*b));
}

bool EqualNoCase(const char16_t* a, const char16_t* b, std::int32_t count) {
    for (std::int32_t i = 0; i < count; ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) {
            return false;
        }
    }
    return true;
}

std::int32_t FindUnit(const char16_t* text, std::int32_t from, std::int32_t end, char16_t ch) {
    for (std::int32_t i = from; i < end; ++i) {
        if (text[i] == ch) {
            return i;
        }
    }
    return -1;
}

} // namespace vel
