// SPDX-License-Identifier: Apache-2.0
#include "net/HeaderBlock.h"
#include "support/Text.h"

#include <gtest/gtest.h>

namespace {

std::u16string Get(const CVELString& block, const char16_t* name) {
    CVELString value(u"stale");
    const BOOL found = GetHeader(block, name, value);
    EXPECT_EQ(found != 0, value.GetLength() > 0);
    return Str(value);
}

TEST(HeaderBlock, LookupMatchesWholeNamesAndJoinsValues) {
    const CVELString block(u"Content-Type: text/html\r\n"
                           u"Cookie: a=1\r\n"
                           u"Name:value\r\n"
                           u"X: a: b\r\n"
                           u"cookie: \r\n"
                           u"COOKIE: b=2\r\n"
                           u"Content: short\r\n"
                           u"Trailing: not a line");
    EXPECT_EQ(Get(block, u"content-type"), u"text/html");
    EXPECT_EQ(Get(block, u"Content"), u"short");
    EXPECT_EQ(Get(block, u"Content-Typ"), u"");
    EXPECT_EQ(Get(block, u"Cookie"), u"a=1; b=2");
    EXPECT_EQ(Get(block, u"Name"), u"");
    EXPECT_EQ(Get(block, u"Name:value"), u"");
    EXPECT_EQ(Get(block, u"X"), u"a: b");
    EXPECT_EQ(Get(block, u"Trailing"), u"");
    EXPECT_EQ(Get(CVELString(), u"X"), u"");
}

TEST(HeaderBlock, RemoveAndSetKeepOtherLinesInOrder) {
    CVELString block(u"A: 1\r\nB: 2\r\na: 3\r\nC: 4\r\nA: 5\r\nA: tail");
    RemoveHeader(block, u"A");
    EXPECT_EQ(Str(block), u"B: 2\r\nC: 4\r\nA: tail");

    block.Assign(u"H: 1\r\nK: x\r\nh: 2\r\nH: 3\r\n");
    SetHeader(block, u"H", u"v");
    EXPECT_EQ(Str(block), u"K: x\r\nH: v\r\n");

    CVELString empty;
    RemoveHeader(empty, u"H");
    EXPECT_EQ(empty.GetLength(), 0);
    SetHeader(empty, u"User-agent", u"agent");
    EXPECT_EQ(Str(empty), u"User-agent: agent\r\n");
}

TEST(HeaderBlock, AddHeaderLinesTakesOnlyNamedCrLfLines) {
    CVELString block(u"Old: 0\r\n");
    AddHeaderLines(block, u"A: 1\r\njunk\r\nOld: again\r\nB: 2");
    EXPECT_EQ(Str(block), u"Old: 0\r\nA: 1\r\nOld: again\r\n");

    SetHeaderLines(block, u"HTTP/1.1 200 OK\r\nServer: x\r\nDate: d\r\n\r\n");
    EXPECT_EQ(Str(block), u"Server: x\r\nDate: d\r\n");
    SetHeaderLines(block, u"no line at all");
    EXPECT_EQ(block.GetLength(), 0);
    // A lone CR is text inside a line, not a line end.
    SetHeaderLines(block, u"A: x\ry\r\n");
    EXPECT_EQ(Get(block, u"A"), u"x\ry");
}

} // namespace
