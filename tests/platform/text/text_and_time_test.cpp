// SPDX-License-Identifier: Apache-2.0
// The URL texts a request is known by, and the file-time clock.
#include "platform/inet/WireText.h"
#include "platform/kernel/FileTime.h"

#include <gtest/gtest.h>

#include <ctime>

namespace {

TEST(RequestUrlTextTest, PortAppearsOnlyWhenNotTheSchemeDefault) {
    EXPECT_EQ(inet::RequestUrlText(false, u"Host", 80, u"/a?b#c"), u"http://Host/a?b");
    EXPECT_EQ(inet::RequestUrlText(true, u"host", 443, u"/x y"), u"https://host/x y");
    EXPECT_EQ(inet::RequestUrlText(false, u"host", 443, u"/"), u"http://host:443/");
    EXPECT_EQ(inet::RequestUrlText(true, u"host", 80, u"/"), u"https://host:80/");
}

TEST(WireEncodingTest, CharactersOutsideTheCodePageTravelAsUtf8) {
    EXPECT_EQ(inet::EncodeObjectName(u"/\U0001F600"), "/%F0%9F%98%80"); // a surrogate pair
    EXPECT_EQ(inet::EncodeObjectName(u"/\xD800x"), "/%EF%BF%BDx");      // a lone surrogate
    EXPECT_EQ(inet::EncodeObjectName(u"page\x7F"), "/page%7F");
    EXPECT_EQ(inet::FromWireBytes("\x80\xE9"), u"\u20AC\u00E9");
}

TEST(FileTimeTest, ClockAndComparison) {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const FILETIME fromUnix = FileTimeFromUnixSeconds(std::time(nullptr));
    const auto difference = static_cast<long long>(FileTimeToTicks(now)) -
                            static_cast<long long>(FileTimeToTicks(fromUnix));
    EXPECT_LT(std::llabs(difference), 20'000'000LL) << "within two seconds";

    const FILETIME earlier = FileTimeFromTicks(FileTimeToTicks(now) - 1);
    const FILETIME carried = FileTimeFromTicks(0x1'0000'0000ULL);
    const FILETIME below = FileTimeFromTicks(0xFFFF'FFFFULL);
    EXPECT_EQ(CompareFileTime(&earlier, &now), -1);
    EXPECT_EQ(CompareFileTime(&now, &earlier), 1);
    EXPECT_EQ(CompareFileTime(&now, &now), 0);
    EXPECT_EQ(CompareFileTime(&below, &carried), -1) << "the high half counts first";
}

} // namespace
