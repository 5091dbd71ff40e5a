#include "platform/kernel/LastError.h"
#include "platform/text/FormatMessage.h"
#include "support/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Row {
    const char16_t* format;
    std::vector<FormatArg> args;
    std::u16string expected;
};

std::string Narrow(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
        out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return out;
}

} // namespace

TEST(FormatMessage, InsertsAndEscapes) {
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
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(Narrow(row.format));
        CVELString out;
        ASSERT_EQ(FormatMessageString(row.format, row.args, out), FormatStatus::Ok);
        EXPECT_EQ(Str(out), row.expected);
    }
}

TEST(FormatMessage, PrintfFormats) {
    const std::vector<Row> rows = {
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
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(Narrow(row.format));
        CVELString out;
        ASSERT_EQ(FormatMessageString(row.format, row.args, out), FormatStatus::Ok);
        EXPECT_EQ(Str(out), row.expected);
    }
}

TEST(FormatMessage, EmptyOutputIsReportedAsThePlatformReportsIt) {
    for (const char16_t* format : {u"", u"%0", u"%0text", u"%"}) {
        SCOPED_TRACE(Narrow(format));
        CVELString out(u"stale");
        EXPECT_EQ(FormatMessageString(format, {}, out), FormatStatus::Empty);
        EXPECT_EQ(out.GetLength(), 0);
    }
    CVELString out;
    EXPECT_EQ(FormatMessageString(u"%1", {u""}, out), FormatStatus::Empty) << "empty label";
}

TEST(FormatMessage, InvalidInsertsFailWithInvalidParameter) {
    const std::vector<Row> rows = {
        {u"Synchronizing %1...", {}, u""},
        {u"%1 and %3", {u"a", u"b"}, u""},
        {u"%1!d!", {u"not a number"}, u""},
        {u"%1!s!", {5}, u""},
        {u"%1", {5}, u""},
        {u"%1 %1!s", {u"unclosed"}, u""},
        {u"%1!99999s!", {u"wide"}, u""},
        {u"%1!.99999d!", {1}, u""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(Narrow(row.format));
        SetLastError(ERROR_SUCCESS);
        CVELString out(u"stale");
        EXPECT_EQ(FormatMessageString(row.format, row.args, out), FormatStatus::InvalidParameter);
        EXPECT_EQ(out.GetLength(), 0);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
    CVELString out;
    EXPECT_EQ(FormatMessageString(nullptr, {}, out), FormatStatus::InvalidParameter);
}
