// SPDX-License-Identifier: Apache-2.0
#include "framework/message/FormatMessage.h"
#include "platform/kernel/LastError.h"
#include "support/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(FormatMessage, InsertsEscapesPrintfFormatsAndFailures) {
    using S = FormatStatus;
    struct Row {
        const char16_t* format;
        std::vector<FormatArg> args;
        std::u16string expected;
        S status = S::Ok;
    };
    const std::vector<Row> rows = {
        {u"Synchronizing %1...", {u"News"}, u"Synchronizing News..."},
        {u"%2 before %1", {u"a", u"b"}, u"b before a"},
        {u"%1%1", {u"x"}, u"xx"},
        {u"%1 is %1!s!", {u"s"}, u"s is s"},
        {u"rate %1%%", {u"5"}, u"rate 5%"},
        {u"a%nb%rc%td", {}, u"a\r\nb\rc\td"},
        {u"a%.b%!c% d", {}, u"a.b!c d"},
        {u"%q%Z%\\", {}, u"qZ\\"},
        {u"line one\nline two\r\n", {}, u"line one\nline two\r\n"},
        {u"kept%0cut %1", {}, u"kept"},
        {u"lone %", {}, u"lone "},
        // Inserted text is not scanned again.
        {u"[%1]", {u"%2%n"}, u"[%2%n]"},
        // Two digits at most: %100 is insert 10 and a "0".
        {u"%100", {1, 2, 3, 4, 5, 6, 7, 8, 9, u"ten"}, u"ten0"},
        {u"%99", {std::vector<FormatArg>(99, u"z")}, u"z"},
        {u"%1!d! items", {42}, u"42 items"},
        {u"%1!d!", {-7}, u"-7"},
        {u"%1!5d!|%1!-5d!|%1!05d!", {42}, u"   42|42   |00042"},
        {u"%1!x! %1!X! %1!#x! %1!o!", {255}, u"ff FF 0xff 377"},
        {u"%1!u!", {-1}, u"4294967295"},
        {u"%1!I64u!", {-1}, u"18446744073709551615"},
        {u"%1!hd!", {70000}, u"4464"},
        {u"%1!lu!", {std::int64_t(0x100000001)}, u"1"},
        {u"[%1!6s!][%1!-6s!][%1!.2s!]", {u"abc"}, u"[   abc][abc   ][ab]"},
        {u"%1!c!%2!3c!", {0x41, 0x42}, u"A  B"},
        // Outside the supported grammar: the argument goes in plainly.
        {u"%1!e!|%2!*d!", {u"text", 12}, u"text|12"},
        // Empty output is a failure of its own, as the platform reports it.
        {u"", {}, u"", S::Empty},
        {u"%0", {}, u"", S::Empty},
        {u"%0text", {}, u"", S::Empty},
        {u"%", {}, u"", S::Empty},
        {u"%1", {u""}, u"", S::Empty},
        // An insert without argument, a text/number mismatch, an unclosed
        // format, an oversized width.
        {u"Synchronizing %1...", {}, u"", S::InvalidParameter},
        {u"%1 and %3", {u"a", u"b"}, u"", S::InvalidParameter},
        {u"%1!d!", {u"not a number"}, u"", S::InvalidParameter},
        {u"%1!s!", {5}, u"", S::InvalidParameter},
        {u"%1", {5}, u"", S::InvalidParameter},
        {u"%1 %1!s", {u"unclosed"}, u"", S::InvalidParameter},
        {u"%1!99999s!", {u"wide"}, u"", S::InvalidParameter},
        {u"%1!.99999d!", {1}, u"", S::InvalidParameter},
        {nullptr, {}, u"", S::InvalidParameter},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(std::u16string(row.format ? row.format : u"null")));
        SetLastError(ERROR_SUCCESS);
        CVELString out(u"stale");
        EXPECT_EQ(FormatMessageString(row.format, row.args, out), row.status);
        EXPECT_EQ(Str(out), row.expected);
        EXPECT_EQ(GetLastError(),
                  row.status == S::InvalidParameter ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS);
    }
}

} // namespace
