#include "foundation/VELMemBuf.h"
#include "foundation/VELString.h"
#include "support/Text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

CVELString Units(int n, char16_t ch = u'x') {
    const std::u16string text(static_cast<std::size_t>(n), ch);
    return CVELString(text.c_str());
}

TEST(VELString, CapacityFollowsLengthInStepsOf256) {
    struct Case {
        int length;
        int capacity;
    };
    for (const Case c : {Case{0, 256},
                         {255, 256},
                         {256, 512},
                         {510, 512},
                         {511, 768},
                         {1023, 1280},
                         {4096, 4352}}) {
        const CVELString s = Units(c.length);
        EXPECT_EQ(s.GetCapacity(), c.capacity) << c.length;
        EXPECT_EQ(s.GetLength(), c.length);
        EXPECT_TRUE(WellFormed(s));

        CVELString r;
        r.Reserve(c.length);
        EXPECT_EQ(r.GetCapacity(), c.capacity) << "Reserve " << c.length;
    }
    CVELString s;
    s.Reserve(-5);
    EXPECT_EQ(s.GetCapacity(), 256);
}

TEST(VELString, AppendingOneUnitAtATimeGrowsTwiceUpTo600) {
    CVELString s;
    std::u16string expected;
    int changes = 0;
    int previous = s.GetCapacity();
    for (int i = 0; i < 600; ++i) {
        const auto ch = static_cast<char16_t>(u'a' + i % 26);
        s.AppendChar(ch);
        expected.push_back(ch);
        if (s.GetCapacity() != previous) {
            ++changes;
            EXPECT_EQ(s.GetCapacity(), i + 1 == 256 ? 512 : 768) << "at length " << i + 1;
            previous = s.GetCapacity();
        }
    }
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(Str(s), expected);
    s.Empty();
    EXPECT_EQ(s.GetCapacity(), 768);
    EXPECT_TRUE(WellFormed(s));
}

TEST(VELString, EditingOperations) {
    CVELString s(u"ab");
    s.Insert(u"XY", 0);
    EXPECT_EQ(Str(s), u"XYab");
    s.Assign(u"ab");
    s.Insert(u"XY", 2);
    EXPECT_EQ(Str(s), u"abXY");
    s.Delete(1, 2);
    EXPECT_EQ(Str(s), u"aY");

    s.Assign(u"abcde");
    s.Truncate(10);
    EXPECT_EQ(Str(s), u"abcde");
    s.KeepMid(5);
    EXPECT_EQ(Str(s), u"");
    s.Assign(u"abcd");
    s.KeepMid(1, 2);
    EXPECT_EQ(Str(s), u"bc");
    s.Assign(u"abcd");
    s.KeepMid(1, 10);
    EXPECT_EQ(Str(s), u"bcd");

    // Embedded zero units are text like any other.
    const char16_t withZero[] = {u'a', 0, u'b'};
    CVELString z(withZero, 3);
    CVELString copy(z);
    EXPECT_EQ(copy.GetLength(), 3);
    EXPECT_EQ(copy.Find(u'b'), 2);
    CVELString& alias = copy;
    copy = alias;
    EXPECT_EQ(copy.GetLength(), 3);
    EXPECT_TRUE(WellFormed(copy));
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

    EXPECT_EQ(CVELString(u"Text/HTML").CompareNoCase(u"text/html"), 0);
    EXPECT_NE(CVELString(u"\u00e9").CompareNoCase(u"\u00c9"), 0);
    EXPECT_LT(CVELString(u"abc").CompareNoCase(u"ABD"), 0);
    EXPECT_GT(CVELString(u"abcd").CompareNoCase(u"ABC"), 0);
    // '_' (0x5F) lies between 'Z' and 'a': folding to lower case puts it before letters.
    EXPECT_GT(CVELString(u"a").CompareNoCase(u"_"), 0);
    EXPECT_GT(CVELString(u"A").CompareNoCase(u"_"), 0);

    CVELString upper(u"a-z\u00e9Q");
    upper.MakeUpper();
    EXPECT_EQ(Str(upper), u"A-Z\u00e9Q");
}

TEST(VELString, ConversionFromBytesIsOneUnitPerByte) {
    CVELMemBuf bytes;
    EXPECT_EQ(Str(CVELString(bytes)), u"");
    bytes.Insert("abc", 0, 3);
    EXPECT_EQ(Str(CVELString(bytes)), u"abc");

    // Windows-1252: 0x80 is the euro sign, undefined 0x81 keeps its number,
    // and a zero byte inside the data converts like any other byte.
    const unsigned char high[] = {0x80, 0x81, 0x00, 0xE9, 0x9F};
    bytes.Empty();
    bytes.Insert(high, 0, 5);
    EXPECT_EQ(Str(CVELString(bytes)), (std::u16string{0x20AC, 0x81, 0, 0xE9, 0x178}));

    CVELMemBuf big;
    const std::string page(5000, '<');
    big.Insert(page.data(), 0, 5000);
    const CVELString text(big);
    EXPECT_EQ(text.GetLength(), 5000);
    EXPECT_EQ(text.GetCapacity(), 5120);
    EXPECT_TRUE(WellFormed(text));
}

TEST(VELMemBuf, GrowthInsertAndDelete) {
    CVELMemBuf b;
    b.Reserve(255);
    EXPECT_EQ(b.GetCapacity(), 256);
    b.Insert("xyz", 0, 3);
    b.Reserve(256);
    EXPECT_EQ(b.GetCapacity(), 512);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.GetData())), "xyz");

    CVELMemBuf c;
    c.Reserve(4096);
    EXPECT_EQ(c.GetCapacity(), 4352);
    c.Reserve(4000);
    EXPECT_EQ(c.GetCapacity(), 4352);

    b.Insert("ab", 0, 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.GetData()), 5), "abxyz");
    b.Insert("\0\0", 5, 2);
    EXPECT_EQ(b.GetLength(), 7);
    EXPECT_EQ(b.GetData()[7], 0);
    b.Delete(1, 3);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.GetData()), 4), std::string("az\0\0", 4));
    b.Delete(0, b.GetLength());
    EXPECT_EQ(b.GetLength(), 0);
    EXPECT_EQ(b.GetCapacity(), 512);
}

TEST(VELMemBuf, BodyReadInBlocksOf4096GrowsByTheLinearRule) {
    // The response reader reserves room for 4096 more bytes before each read.
    CVELMemBuf body;
    std::vector<int> capacities;
    for (int piece : {4096, 4096, 1808, 0}) {
        body.Reserve(body.GetLength() + 4096);
        capacities.push_back(body.GetCapacity());
        std::fill_n(body.GetData() + body.GetLength(), piece, std::uint8_t{'b'});
        body.SetLength(body.GetLength() + piece);
    }
    EXPECT_EQ(capacities, (std::vector<int>{4352, 8448, 12544, 14336}));
    EXPECT_EQ(body.GetLength(), 10000);
    EXPECT_EQ(body.GetData()[10000], 0);
}

} // namespace
