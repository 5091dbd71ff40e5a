// SPDX-License-Identifier: Apache-2.0
#include "platform/kernel/LastError.h"
#include "platform/text/AnsiCodePage.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(AnsiCodePage, EveryByteRoundTripsExactly) {
    std::string bytes;
    for (int b = 0; b < 256; ++b) {
        bytes.push_back(static_cast<char>(b));
    }
    const int n = static_cast<int>(bytes.size());
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, bytes.data(), n, nullptr, 0), 256);
    std::u16string units(256, u'\0');
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, bytes.data(), n, units.data(), 256), 256);
    EXPECT_EQ(units[0x80], u'\u20ac');
    EXPECT_EQ(units[0x9f], u'\u0178');
    for (int undefined : {0x81, 0x8d, 0x8f, 0x90, 0x9d}) {
        EXPECT_EQ(units[undefined], undefined);
    }
    EXPECT_EQ(units[0xe9], u'\u00e9');

    for (int b = 0; b < 256; ++b) {
        EXPECT_EQ(AnsiUnitToByte(units[b]), b);
    }
}

TEST(AnsiCodePage, UnmappableUnitsAndBadArguments) {
    EXPECT_EQ(AnsiUnitToByte(u'\u4e2d'), -1);
    EXPECT_EQ(AnsiUnitToByte(u'\u0080'), -1) << "0x80 is the euro sign's byte";

    char16_t small[2];
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 3, small, 2), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(MultiByteToWideChar(65001, 0, "abc", 3, small, 2), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0), 4); // terminator counted
}

} // namespace
