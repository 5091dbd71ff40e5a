// SPDX-License-Identifier: Apache-2.0
#include "foundation/VELStringList.h"
#include "support/Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::u16string> Items(const CVELStringList& list) {
    std::vector<std::u16string> out(list.GetCount());
    for (int i = 0; i < list.GetCount(); ++i) {
        out[i] = Str(*list.GetAt(i));
    }
    return out;
}

// Lists of 0 to 69 elements with many duplicates, probed below, between,
// on and above every element.
TEST(VELStringList, BinarySearchMatchesStdLowerBoundOnRandomSortedLists) {
    std::mt19937 random(12345);
    for (int round = 0; round < 300; ++round) {
        std::vector<std::u16string> sorted(random() % 70);
        for (std::u16string& s : sorted) {
            s.assign(1 + random() % 2, char16_t(u'a' + random() % 8));
        }
        std::sort(sorted.begin(), sorted.end());
        CVELStringList list;
        for (const auto& s : sorted) {
            list.InsertAt(s.c_str(), list.GetCount());
        }
        for (char16_t c = u'a' - 1; c <= u'a' + 8; ++c) {
            for (const std::u16string& probe : {std::u16string(1, c), std::u16string(2, c)}) {
                const auto lower = std::lower_bound(sorted.begin(), sorted.end(), probe);
                std::int32_t index = -7;
                const BOOL found = list.BinarySearch(probe.c_str(), index);
                ASSERT_EQ(index, lower - sorted.begin()) << "n=" << sorted.size();
                ASSERT_EQ(found != 0, lower != sorted.end() && *lower == probe);
            }
        }
    }
}

TEST(VELStringList, FindNoCaseMatchesWholeElementsFromAnIndex) {
    CVELStringList names;
    for (const char16_t* item : {u"hrefs", u"src", u"href"}) {
        names.InsertAt(item, names.GetCount());
    }
    EXPECT_EQ(names.FindNoCase(u"HREF", 0), 2);
    EXPECT_EQ(names.FindNoCase(u"HREF", 3), -1);
    EXPECT_EQ(names.FindNoCase(u"SRCX", 0, 3), 1);
    EXPECT_EQ(names.FindNoCase(u"alt", 0), -1);
}

TEST(VELStringList, RemovedElementsAreReusedAsSpares) {
    CVELStringList list;
    for (const char16_t* item : {u"a", u"b", u"c", u"d", u"e"}) {
        list.InsertAt(item, 0);
    }
    const CVELString* first = list.GetAt(0);
    list.RemoveAll();
    list.InsertAt(u"z", 0);
    list.InsertAt(u"x", 0);
    list.InsertAt(u"y", 1);
    EXPECT_EQ(list.GetAllocated(), 5);
    EXPECT_EQ(Items(list), (std::vector<std::u16string>{u"x", u"y", u"z"}));
    // Every live element is one of the objects the list made at first.
    std::vector<const CVELString*> all(list.Elements(), list.Elements() + 5);
    EXPECT_NE(std::find(all.begin(), all.end(), first), all.end());
    std::sort(all.begin(), all.end());
    EXPECT_EQ(std::unique(all.begin(), all.end()), all.end());
}

// The element limit, and a pair list's lookup by name ignoring case (the
// first of a name wins), are proven through the tag scanner and the page walk.

} // namespace
