#include "net/Encoding.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>

namespace {

std::u16string Text(const CVELString& s) {
    return std::u16string(s.GetData(), s.GetLength());
}

struct Row {
    const char16_t* in;
    const char16_t* expected;
};

template <typename Transform> void ExpectRows(Transform transform, const Row* rows, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k) {
        CVELString text(rows[k].in);
        transform(text);
        EXPECT_EQ(Text(text), rows[k].expected)
            << ::testing::PrintToString(std::u16string(rows[k].in));
    }
}

TEST(UnquoteString, StripsMatchingQuotesAndEscapes) {
    const Row rows[] = {
        {u"\"", u"\""},
        {u"\"\"", u""},
        {u"\"a'", u"\"a'"},
        {u"a\"", u"a\""},
        {u"\"a\\\"", u"a"},
        {u"'\\f\\n\\r\\t'", u"\f\n\r\t"},
        {u"\"\\\\n\\q\\\"\"", u"\\nq\""},
        {u"\"x\\\\\"", u"x\\"},
    };
    ExpectRows(UnquoteString, rows, std::size(rows));
}

TEST(CollapseAmpEntities, RemovesOneLevel) {
    const Row rows[] = {
        {u"a?x=1&amp;y=2", u"a?x=1&y=2"},
        {u"&amp;amp;", u"&amp;"},
        {u"&amp;&amp;", u"&&"},
        {u"&&amp;", u"&&"},
        {u"&amp", u"&amp"},
        {u"&AMP;", u"&AMP;"},
    };
    ExpectRows(CollapseAmpEntities, rows, std::size(rows));
}

TEST(URLEncode, EscapesOutsideTheSafeSet) {
    const Row rows[] = {
        {u"x=1&y=a b#c", u"x=1&y=a+b%23c"},
        {u"100%", u"100%25"},
        {u"%41", u"%41"},
        {u"%4a%4G", u"%4a%254G"},
        {u"%4", u"%254"},
        {u"~\"<\x7f", u"%7E%22%3C%7F"},
        {u";/?:@&=+!*'(),$-_.", u";/?:@&=+!*'(),$-_."},
        {u"\u00e9\u00ff\u0001", u"%E9%FF%01"},
        {u"\u0100\u07ff\u0800\u20ac\uffff", u"%C4%80%DF%BF%E0%A0%80%E2%82%AC%EF%BF%BF"},
        {u"\U0001F600", u"%F0%9F%98%80"},
        {u"\U0010FFFF", u"%F4%8F%BF%BF"},
        // Lone surrogates, high and low, stand for no character.
        {u"\xD83D"
         u"a\xDE00\xD800",
         u"%EF%BF%BDa%EF%BF%BD%EF%BF%BD"},
    };
    ExpectRows(URLEncode, rows, std::size(rows));
}

TEST(URLEncode, EncodingTwiceChangesNothing) {
    const char16_t* const rows[] = {
        u"",     u"a b",         u"100%",  u"%%41%",
        u"%4G",  u"x=1&y=a b#c", u"+ +%2", u"\u00e9\u20ac\U0001F600",
        u"%E9%", u"\t\r\n",      u"%%%%",
    };
    for (const char16_t* in : rows) {
        CVELString once(in);
        URLEncode(once);
        CVELString twice(once);
        URLEncode(twice);
        EXPECT_EQ(Text(twice), Text(once)) << ::testing::PrintToString(std::u16string(in));
    }
}

TEST(URLEncode, LongTextLeavesTheInlineStore) {
    std::u16string in;
    std::u16string expected;
    for (int k = 0; k < 300; ++k) {
        in += u"a \u00e9";
        expected += u"a+%E9";
    }
    CVELString text(in.c_str());
    URLEncode(text);
    EXPECT_EQ(Text(text), expected);
}

} // namespace
