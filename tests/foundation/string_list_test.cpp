#include "foundation/VELStringList.h"
#include "foundation/VELStringPairList.h"
#include "support/Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

void Fill(CVELStringList& list, std::initializer_list<const char16_t*> items) {
    for (const char16_t* item : items) {
        list.InsertAt(item, list.GetCount());
    }
}

std::vector<std::u16string> Items(const CVELStringList& list) {
    std::vector<std::u16string> out;
    for (int i = 0; i < list.GetCount(); ++i) {
        out.push_back(Str(*list.GetAt(i)));
    }
    return out;
}

struct Search {
    bool found;
    int index;
};

Search Find(const CVELStringList& list, const char16_t* text) {
    std::int32_t index = -7;
    const BOOL found = list.BinarySearch(text, index);
    return {found != 0, index};
}

TEST(VELStringList, BinarySearchGivesTheLowerBound) {
    CVELStringList empty;
    EXPECT_FALSE(Find(empty, u"a").found);
    EXPECT_EQ(Find(empty, u"a").index, 0);

    CVELStringList one;
    Fill(one, {u"b"});
    EXPECT_TRUE(Find(one, u"b").found);
    EXPECT_EQ(Find(one, u"b").index, 0);
    EXPECT_EQ(Find(one, u"a").index, 0);
    EXPECT_EQ(Find(one, u"c").index, 1);
    EXPECT_FALSE(Find(one, u"c").found);

    CVELStringList four;
    Fill(four, {u"b", u"d", u"f", u"h"});
    EXPECT_EQ(Find(four, u"a").index, 0);
    EXPECT_EQ(Find(four, u"e").index, 2);
    EXPECT_EQ(Find(four, u"z").index, 4);
    EXPECT_FALSE(Find(four, u"e").found);
    EXPECT_TRUE(Find(four, u"h").found);
    EXPECT_EQ(Find(four, u"h").index, 3);

    CVELStringList dups;
    Fill(dups, {u"a", u"b", u"b", u"b", u"c"});
    EXPECT_TRUE(Find(dups, u"b").found);
    EXPECT_EQ(Find(dups, u"b").index, 1);
}

TEST(VELStringList, BinarySearchMatchesStdLowerBoundOnRandomSortedLists) {
    std::mt19937 random(12345);
    for (int round = 0; round < 300; ++round) {
        std::vector<std::u16string> sorted;
        const int n = static_cast<int>(random() % 70);
        for (int i = 0; i < n; ++i) {
            sorted.push_back(std::u16string(1 + random() % 2, char16_t(u'a' + random() % 8)));
        }
        std::sort(sorted.begin(), sorted.end());
        CVELStringList list;
        for (const auto& s : sorted) {
            list.InsertAt(s.c_str(), list.GetCount());
        }
        for (char16_t c = u'a' - 1; c <= u'a' + 8; ++c) {
            for (const std::u16string& probe : {std::u16string(1, c), std::u16string(2, c)}) {
                const auto lower = std::lower_bound(sorted.begin(), sorted.end(), probe);
                const Search got = Find(list, probe.c_str());
                ASSERT_EQ(got.index, lower - sorted.begin()) << "n=" << n;
                ASSERT_EQ(got.found, lower != sorted.end() && *lower == probe);
            }
        }
    }
}

TEST(VELStringList, SortedSetInsertionAndCaseInsensitiveSearch) {
    CVELStringList set;
    for (const char16_t* item : {u"m", u"c", u"x", u"c"}) {
        std::int32_t index = 0;
        if (!set.BinarySearch(item, index)) {
            set.InsertAt(item, index);
        }
    }
    EXPECT_EQ(Items(set), (std::vector<std::u16string>{u"c", u"m", u"x"}));

    CVELStringList names;
    Fill(names, {u"hrefs", u"src", u"href"});
    EXPECT_EQ(names.FindNoCase(u"HREF", 0), 2);
    EXPECT_EQ(names.FindNoCase(u"HREF", 3), -1);
    EXPECT_EQ(names.FindNoCase(u"SRCX", 0, 3), 1);
    EXPECT_EQ(names.FindNoCase(u"alt", 0), -1);
}

TEST(VELStringList, RemovedElementsAreReusedAsSpares) {
    CVELStringList list;
    Fill(list, {u"a", u"b", u"c", u"d", u"e"});
    const CVELString* first = list.GetAt(0);
    list.RemoveAll();
    EXPECT_EQ(list.GetCount(), 0);
    list.InsertAt(u"z", 0);
    list.InsertAt(u"x", 0);
    list.InsertAt(u"y", 1);
    EXPECT_EQ(list.GetAllocated(), 5);
    EXPECT_EQ(Items(list), (std::vector<std::u16string>{u"x", u"y", u"z"}));
    // Every live element is one of the objects the list made at first.
    CVELString* const* all = list.Elements();
    EXPECT_NE(std::find(all, all + 5, first), all + 5);
    std::vector<const CVELString*> distinct(all, all + 5);
    std::sort(distinct.begin(), distinct.end());
    EXPECT_EQ(std::unique(distinct.begin(), distinct.end()), distinct.end());
}

TEST(VELStringList, InsertionPastTheElementLimitIsRefused) {
    CVELStringList list;
    for (int i = 0; i < CVELStringList::kMaxElements; ++i) {
        ASSERT_TRUE(list.InsertAt(u"v", list.GetCount()));
    }
    EXPECT_FALSE(list.InsertAt(u"w", 0));
    EXPECT_EQ(list.GetCount(), 32767);
    EXPECT_EQ(Str(*list.GetAt(0)), u"v");
    list.RemoveAll();
    EXPECT_TRUE(list.InsertAt(u"w", 0)); // spares are still there to reuse
    EXPECT_EQ(list.GetAllocated(), 32767);
}

TEST(VELStringPairList, PairsStayAlignedAndLookupIgnoresCase) {
    CVELStringPairList attrs;
    attrs.InsertPair(u"SRC", CVELString(u"a.gif"), 0);
    attrs.InsertPair(u"alt", CVELString(u"b"), 1);
    attrs.InsertPair(u"src", CVELString(u"second"), 2);
    CVELString value(u"untouched");
    EXPECT_TRUE(attrs.GetValue(u"Src", value));
    EXPECT_EQ(Str(value), u"a.gif");
    value.Assign(u"untouched");
    EXPECT_FALSE(attrs.GetValue(u"href", value));
    EXPECT_EQ(Str(value), u"untouched");

    attrs.RemoveAll();
    EXPECT_EQ(attrs.GetCount(), 0);
    const char16_t zero[] = {u'x', 0, u'y'};
    attrs.InsertPair(u"n", CVELString(zero, 3), 0);
    EXPECT_TRUE(attrs.GetValue(u"N", value));
    EXPECT_EQ(value.GetLength(), 3);
    EXPECT_EQ(attrs.Names().GetAllocated(), attrs.Values().GetAllocated());
}

} // namespace
