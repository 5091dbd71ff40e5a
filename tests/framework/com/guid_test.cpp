// SPDX-License-Identifier: Apache-2.0
#include "framework/com/Guid.h"

#include <gtest/gtest.h>

#include <tuple>

TEST(Guid, ParsesTheBracedFormOnly) {
    const GUID expected{
        0x0123ABCD, 0x0045, 0xEF01, {0x02, 0x03, 0xA0, 0x0B, 0xC0, 0x0D, 0xE0, 0x0F}};
    EXPECT_EQ(GuidToString(expected), u"{0123ABCD-0045-EF01-0203-A00BC00DE00F}");
    // a text, whether braces are optional, and whether it parses
    const std::tuple<std::u16string, bool, bool> cases[] = {
        {u"{0123ABCD-0045-EF01-0203-A00BC00DE00F}", false, true},
        {u"{0123abcd-0045-ef01-0203-a00bc00de00f}", false, true},
        {u"0123ABCD-0045-EF01-0203-A00BC00DE00F", true, true},
        {u"0123ABCD-0045-EF01-0203-A00BC00DE00F", false, false},
        {u"{0123ABCD-0045-EF01-0203-A00BC00DE00F", false, false},
        {u"{0123ABCD-0045-EF01-0203+A00BC00DE00F}", false, false},
        {u"{0123ABCD-0045-EF01-0203-A00BC00DE00G}", false, false},
        {u"{0123ABCD-0045-EF01-0203-A00BC00DE00F0}", false, false},
        {u"", true, false},
    };
    for (const auto& [text, bracesOptional, ok] : cases) {
        const std::optional<GUID> parsed = GuidFromString(text, bracesOptional);
        EXPECT_EQ(parsed, ok ? std::optional(expected) : std::nullopt)
            << std::string(text.begin(), text.end());
    }
}
