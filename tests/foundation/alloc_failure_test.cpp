#include "foundation/VELMemBuf.h"
#include "foundation/VELString.h"
#include "foundation/VELStringList.h"
#include "foundation/VELStringPairList.h"
#include "support/FailingAlloc.h"
#include "support/Text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(AllocationFailure, ThrowsThePointerOfTheObjectThatCouldNotGrow) {
    CVELString s(u"keep");
    {
        ScopedAllocFailure failing;
        try {
            s.Reserve(300);
            FAIL() << "no exception";
        } catch (CVELString* thrown) {
            EXPECT_EQ(thrown, &s);
        }
        // Within the inline store nothing is allocated, so nothing fails.
        s.Append(u"more");
        EXPECT_EQ(Str(s), u"keepmore");
    }

    CVELString onHeap(std::u16string(300, u'h').c_str());
    {
        ScopedAllocFailure failing;
        const std::u16string more(300, u'm');
        try {
            onHeap.Append(more.c_str());
            FAIL() << "no exception";
        } catch (void* thrown) { // a handler may take the thrown pointer as void *
            EXPECT_EQ(thrown, static_cast<void*>(&onHeap));
        }
    }
    onHeap.Append(u"!"); // the string is still usable once memory is back
    EXPECT_EQ(onHeap.GetLength(), 301);

    CVELMemBuf buffer;
    {
        ScopedAllocFailure failing;
        try {
            buffer.Reserve(4096);
            FAIL() << "no exception";
        } catch (CVELMemBuf* thrown) {
            EXPECT_EQ(thrown, &buffer);
        }
    }
    EXPECT_EQ(buffer.GetCapacity(), 256);
}

TEST(AllocationFailure, ListInsertionFailsWithoutLosingOrLeakingElements) {
    CVELStringList list;
    list.InsertAt(u"a", 0);
    {
        ScopedAllocFailure failing;
        EXPECT_THROW(list.InsertAt(u"b", 0), CVELMemBuf*);
        // An element whose own text cannot grow reports the element string.
        ScopedAllocFailure oneMore(1);
        EXPECT_THROW(list.InsertAt(std::u16string(400, u'c').c_str(), 0), CVELString*);
    }
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetAllocated(), 1);
    // The 32nd pointer does not fit the array's inline 256 bytes (with the
    // zero byte after them): the array needs a heap block before the new
    // element is made, and it is that block the heap refuses.
    CVELStringList full;
    for (int i = 0; i < 31; ++i) {
        full.InsertAt(u"x", i);
    }
    {
        ScopedAllocFailure failing;
        EXPECT_THROW(full.InsertAt(u"y", 31), CVELMemBuf*);
        EXPECT_EQ(ScopedAllocFailure::LastRefused(), 512u); // an element would take 528
    }
    EXPECT_EQ(full.GetCount(), 31);
    EXPECT_EQ(full.GetAllocated(), 31);
    full.InsertAt(u"y", 31);
    EXPECT_EQ(full.GetCount(), 32);
}

} // namespace

namespace {

TEST(AllocationFailure, APairWhoseValueCannotBeStoredLeavesThePairsAligned) {
    CVELStringPairList attrs;
    attrs.InsertPair(u"a", CVELString(u"1"), 0);
    const std::u16string longValue(600, u'v');
    {
        // The name takes a new element object; the long value then needs a
        // heap block that is refused.
        ScopedAllocFailure failing(2);
        EXPECT_ANY_THROW(attrs.InsertPair(u"b", CVELString(longValue.c_str()), 0));
    }
    EXPECT_EQ(attrs.Names().GetCount(), attrs.Values().GetCount());
    CVELString value;
    EXPECT_TRUE(attrs.GetValue(u"a", value));
    EXPECT_EQ(Str(value), u"1");
    EXPECT_FALSE(attrs.GetValue(u"b", value));
}

} // namespace
