// SPDX-License-Identifier: Apache-2.0
#include "foundation/VELMemBuf.h"
#include "foundation/VELString.h"
#include "support/Text.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

CVELString Units(int n, char16_t ch = u'x') {
    return CVELString(std::u16string(static_cast<std::size_t>(n), ch).c_str());
}

std::string Bytes(const CVELMemBuf& b) {
    return std::string(reinterpret_cast<const char*>(b.GetData()), b.GetLength());
}

TEST(VELString, CapacityFollowsLengthInStepsOf256) {
    const std::pair<int, int> rows[] = {{0, 256},   {255, 256},   {256, 512},  {510, 512},
                                        {511, 768}, {1023, 1280}, {4096, 4352}};
    for (const auto& [length, capacity] : rows) {
        const CVELString s = Units(length);
        EXPECT_EQ(s.GetCapacity(), capacity) << length;
        EXPECT_TRUE(WellFormed(s));
        CVELString r;
        r.Reserve(length);
        EXPECT_EQ(r.GetCapacity(), capacity) << "Reserve " << length;
        CVELMemBuf b;
        b.Reserve(length);
        EXPECT_EQ(b.GetCapacity(), capacity) << "MemBuf " << length;
    }
    CVELString s;
    s.Reserve(-5);
    EXPECT_EQ(s.GetCapacity(), 256);
    // Appending one unit at a time takes the same steps, and emptying keeps the block.
    for (int i = 0; i < 600; ++i) {
        s.AppendChar(static_cast<char16_t>(u'a' + i % 26));
        EXPECT_EQ(s.GetCapacity(), i < 255 ? 256 : i < 511 ? 512 : 768) << i;
    }
    EXPECT_EQ(Str(s).substr(595), u"xyzab");
    s.Empty();
    EXPECT_EQ(s.GetCapacity(), 768);
    EXPECT_TRUE(WellFormed(s));
}

TEST(VELString, EditingOperations) {
    using Edit = std::function<void(CVELString&)>;
    const std::pair<Edit, std::u16string> rows[] = {
        {[](CVELString& s) { s.Insert(u"XY", 0); }, u"XYabcd"},
        {[](CVELString& s) { s.Insert(u"XY", 4); }, u"abcdXY"},
        {[](CVELString& s) { s.Delete(1, 2); }, u"ad"},
        {[](CVELString& s) { s.Truncate(10); }, u"abcd"},
        {[](CVELString& s) { s.KeepMid(4); }, u""},
        {[](CVELString& s) { s.KeepMid(1, 2); }, u"bc"},
        {[](CVELString& s) { s.KeepMid(1, 10); }, u"bcd"},
        {[](CVELString& s) { s.MakeUpper(); }, u"ABCD"},
    };
    for (const auto& [edit, expected] : rows) {
        CVELString s(u"abcd");
        edit(s);
        EXPECT_EQ(Str(s), expected);
    }
    CVELString upper(u"a-z\u00e9Q");
    upper.MakeUpper();
    EXPECT_EQ(Str(upper), u"A-Z\u00e9Q");

    // Embedded zero units are text like any other, through copies and self-assignment.
    const char16_t withZero[] = {u'a', 0, u'b'};
    CVELString copy(CVELString(withZero, 3));
    CVELString& alias = copy;
    copy = alias;
    EXPECT_EQ(copy.GetLength(), 3);
    EXPECT_EQ(copy.Find(u'b'), 2);
}

TEST(VELString, AppendAndInsertOfItsOwnTextAcrossGrowth) {
    CVELString s = Units(200, u'a');
    s.Append(u"bcd");
    s.Append(s.GetData() + 1); // 202 units of itself: the storage moves to the heap meanwhile
    EXPECT_EQ(s.GetLength(), 405);
    EXPECT_EQ(Str(s).substr(400), u"aabcd");
    s.Insert(s.GetData() + 400, 0, 5);
    EXPECT_EQ(Str(s).substr(0, 6), u"aabcda");
    EXPECT_TRUE(WellFormed(s));
}

TEST(VELString, SearchAndComparison) {
    const CVELString s(u"abcab");
    EXPECT_EQ(s.Find(u'a', 5), -1);
    EXPECT_EQ(s.Find(u'b', 2), 4);
    EXPECT_EQ(s.Find(u"b", 2), 4);
    EXPECT_EQ(s.Find(u"", 4), 4);
    EXPECT_EQ(s.Find(u"cab", 0), 2);
    EXPECT_EQ(s.Find(u"abx", 0), -1);
    EXPECT_EQ(s.ReverseFind(u'a'), 3);
    EXPECT_EQ(s.ReverseFind(u'z'), -1);
    EXPECT_EQ(s.ReverseFind(0), 5);
    // Only A to Z fold; '_' (0x5F) lies between 'Z' and 'a', so folding to
    // lower case would put it before letters.
    const std::tuple<const char16_t*, const char16_t*, int> rows[] = {
        {u"Text/HTML", u"text/html", 0},
        {u"\u00e9", u"\u00c9", 1},
        {u"abc", u"ABD", -1},
        {u"abcd", u"ABC", 1},
        {u"a", u"_", 1},
        {u"A", u"_", 1}};
    for (const auto& [left, right, sign] : rows) {
        const int order = CVELString(left).CompareNoCase(right);
        EXPECT_EQ((order > 0) - (order < 0), sign)
            << ::testing::PrintToString(std::u16string(left));
    }
}

TEST(VELString, ConversionFromBytesIsOneUnitPerByte) {
    CVELMemBuf bytes;
    EXPECT_EQ(Str(CVELString(bytes)), u"");
    // Windows-1252: 0x80 is the euro sign, undefined 0x81 keeps its number,
    // and a zero byte inside the data converts like any other byte.
    const unsigned char high[] = {'a', 0x80, 0x81, 0x00, 0xE9, 0x9F};
    bytes.Insert(high, 0, 6);
    EXPECT_EQ(Str(CVELString(bytes)), (std::u16string{u'a', 0x20AC, 0x81, 0, 0xE9, 0x178}));
    CVELMemBuf big;
    big.Insert(std::string(5000, '<').data(), 0, 5000);
    const CVELString text(big);
    EXPECT_EQ(text.GetLength(), 5000);
    EXPECT_TRUE(WellFormed(text));
}

TEST(VELMemBuf, InsertAndDeleteKeepTheZeroByteAfterTheData) {
    CVELMemBuf b;
    b.Insert("xyz", 0, 3);
    b.Reserve(300);
    EXPECT_EQ(Bytes(b), "xyz");
    b.Reserve(200);
    EXPECT_EQ(b.GetCapacity(), 512) << "never shrinks";
    b.Insert("ab", 0, 2);
    b.Insert("\0\0", 5, 2);
    EXPECT_EQ(Bytes(b), std::string("abxyz\0\0", 7));
    EXPECT_EQ(b.GetData()[7], 0);
    b.Delete(1, 3);
    EXPECT_EQ(Bytes(b), std::string("az\0\0", 4));
    b.Delete(0, b.GetLength());
    EXPECT_EQ(b.GetLength(), 0);
    EXPECT_EQ(b.GetCapacity(), 512);
}

} // namespace
