// SPDX-License-Identifier: Apache-2.0
#include "foundation/VELMemBuf.h"
#include "foundation/VELString.h"
#include "foundation/VELStringList.h"
#include "foundation/VELStringPairList.h"
#include "platform/kernel/LastError.h"
#include "support/FailingAlloc.h"
#include "support/Text.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

/// Runs `grow` and expects it to throw a pointer to `object` (caught as
/// void *, as any handler may take it) with `error` as the last error.
template <class Grow> void ExpectThrown(const void* object, DWORD error, Grow grow) {
    try {
        grow();
        ADD_FAILURE() << "no exception";
    } catch (void* thrown) {
        EXPECT_EQ(thrown, object);
        EXPECT_EQ(GetLastError(), error);
    }
}

TEST(AllocationFailure, ThrowsThePointerOfTheObjectThatCouldNotGrow) {
    CVELString s(u"keep");
    CVELString onHeap(std::u16string(300, u'h').c_str());
    CVELMemBuf buffer;
    const std::u16string more(300, u'm');
    {
        ScopedAllocFailure failing;
        ExpectThrown(&s, ERROR_NOT_ENOUGH_MEMORY, [&] { s.Reserve(300); });
        ExpectThrown(&onHeap, ERROR_NOT_ENOUGH_MEMORY, [&] { onHeap.Append(more.c_str()); });
        ExpectThrown(&buffer, ERROR_NOT_ENOUGH_MEMORY, [&] { buffer.Reserve(4096); });
        // Within the inline store nothing is allocated, so nothing fails.
        s.Append(u"more");
    }
    EXPECT_EQ(Str(s), u"keepmore");
    EXPECT_EQ(buffer.GetCapacity(), 256);
    onHeap.Append(u"!"); // the string is still usable once memory is back
    EXPECT_EQ(onHeap.GetLength(), 301);
    // A size past the 32-bit range is refused before the heap is asked.
    ExpectThrown(&s, ERROR_ARITHMETIC_OVERFLOW, [&] { s.Reserve(INT32_MAX - 1); });
    ExpectThrown(&buffer, ERROR_ARITHMETIC_OVERFLOW, [&] { buffer.ReserveExtra(INT32_MAX); });
    EXPECT_EQ(Str(s), u"keepmore");
}

TEST(AllocationFailure, ListInsertionFailsWithoutLosingOrLeakingElements) {
    CVELStringList list;
    list.InsertAt(u"a", 0);
    {
        // The new element object is refused: reported as the list's array.
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
    for (int i = 1; i < 31; ++i) {
        list.InsertAt(u"x", i);
    }
    {
        ScopedAllocFailure failing;
        EXPECT_THROW(list.InsertAt(u"y", 31), CVELMemBuf*);
        EXPECT_EQ(ScopedAllocFailure::LastRefused(), 512u); // an element would take 528
    }
    EXPECT_EQ(list.GetAllocated(), 31);
    list.InsertAt(u"y", 31);
    EXPECT_EQ(list.GetCount(), 32);
}

TEST(AllocationFailure, APairWhoseValueCannotBeStoredLeavesThePairsAligned) {
    CVELStringPairList attrs;
    attrs.InsertPair(u"a", CVELString(u"1"), 0);
    const CVELString longValue(std::u16string(600, u'v').c_str());
    {
        // The name takes a new element object; the long value then needs a
        // heap block that is refused.
        ScopedAllocFailure failing(2);
        EXPECT_ANY_THROW(attrs.InsertPair(u"b", longValue, 0));
    }
    EXPECT_EQ(attrs.Names().GetCount(), attrs.Values().GetCount());
    CVELString value;
    EXPECT_TRUE(attrs.GetValue(u"a", value));
    EXPECT_EQ(Str(value), u"1");
    EXPECT_FALSE(attrs.GetValue(u"b", value));
}

} // namespace
