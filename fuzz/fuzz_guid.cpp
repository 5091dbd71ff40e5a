// SPDX-License-Identifier: Apache-2.0
// Fuzzes parsing the text form of GUIDs (registry values, host pages'
// class ids).
//
// The input is read as little-endian UTF-16 units. A parse that succeeds
// must print back as the same text, apart from the case of hex digits and
// optional braces.
#include "framework/com/Guid.h"
#include "fuzz/FuzzChecks.h"

#include <cstddef>
#include <cstdint>

using namespace fuzzcheck;

namespace {

char16_t Upper(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }
    for (const bool bracesOptional : {false, true}) {
        const std::optional<GUID> guid = GuidFromString(text, bracesOptional);
        if (!guid) {
            continue;
        }
        std::u16string printed = GuidToString(*guid);
        if (text.size() == 36) {
            printed = printed.substr(1, 36);
        }
        Check(printed.size() == text.size());
        for (std::size_t i = 0; i < text.size(); ++i) {
            Check(printed[i] == Upper(text[i]));
        }
    }
    return 0;
}
