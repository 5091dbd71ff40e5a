// SPDX-License-Identifier: Apache-2.0
// Fuzzes the attribute and query transforms.
//
// The input is read as little-endian UTF-16 units, zero units included: the
// transforms work by length, so an embedded zero must be handled like any
// other unit.
#include "fuzz/FuzzChecks.h"
#include "net/Encoding.h"

#include <cstddef>
#include <cstdint>
#include <vector>

using namespace fuzzcheck;

namespace {

constexpr char16_t kSafeUnits[] = u";/?:@&=+!*'(),$-_.";

bool IsHex(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

bool IsPlain(char16_t c) {
    if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')) {
        return true;
    }
    for (const char16_t* p = kSafeUnits; *p != 0; ++p) {
        if (*p == c) {
            return true;
        }
    }
    return false;
}

/// Every unit is plain, or a "%" that starts two hex digits.
void CheckEncoded(const CVELString& s) {
    const char16_t* d = s.GetData();
    for (std::int32_t i = 0; i < s.GetLength(); ++i) {
        if (d[i] == u'%') {
            Check(i + 2 < s.GetLength() && IsHex(d[i + 1]) && IsHex(d[i + 2]));
            i += 2;
        } else {
            Check(IsPlain(d[i]));
        }
    }
}

void CheckShrinks(void (*transform)(CVELString&), const CVELString& input) {
    CVELString text(input);
    transform(text);
    CheckTerminated(text);
    Check(text.GetLength() <= input.GetLength());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<char16_t> units(size / 2 + 1, 0);
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        units[i / 2] = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    }
    const CVELString input(units.data(), static_cast<std::int32_t>(size / 2));

    CVELString once(input);
    URLEncode(once);
    CheckTerminated(once);
    CheckEncoded(once);
    CVELString twice(once);
    URLEncode(twice);
    Check(SameText(once, twice));

    CheckShrinks(UnquoteString, input);
    CheckShrinks(CollapseAmpEntities, input);
    return 0;
}
