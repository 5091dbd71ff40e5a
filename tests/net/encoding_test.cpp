// SPDX-License-Identifier: Apache-2.0
#include "net/Encoding.h"
#include "support/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

std::u16string Apply(void (*transform)(CVELString&), const std::u16string& in) {
    CVELString text(in.c_str(), static_cast<std::int32_t>(in.size()));
    transform(text);
    return Str(text);
}

std::u16string Repeat(const std::u16string& text, int times) {
    std::u16string out;
    while (times-- > 0) {
        out += text;
    }
    return out;
}

TEST(Encoding, EachTransformAsTheRowsSay) {
    const std::tuple<void (*)(CVELString&), std::u16string, std::u16string> rows[] = {
        {UnquoteString, u"\"", u"\""},
        {UnquoteString, u"\"\"", u""},
        {UnquoteString, u"\"a'", u"\"a'"},
        {UnquoteString, u"a\"", u"a\""},
        {UnquoteString, u"\"a\\\"", u"a"},
        {UnquoteString, u"'\\f\\n\\r\\t'", u"\f\n\r\t"},
        {UnquoteString, u"\"\\\\n\\q\\\"\"", u"\\nq\""},
        {UnquoteString, u"\"x\\\\\"", u"x\\"},
        {CollapseAmpEntities, u"a?x=1&amp;y=2", u"a?x=1&y=2"},
        {CollapseAmpEntities, u"&amp;amp;", u"&amp;"},
        {CollapseAmpEntities, u"&amp;&amp;", u"&&"},
        {CollapseAmpEntities, u"&&amp;", u"&&"},
        {CollapseAmpEntities, u"&amp", u"&amp"},
        {CollapseAmpEntities, u"&AMP;", u"&AMP;"},
        {URLEncode, u"", u""},
        {URLEncode, u"x=1&y=a b#c", u"x=1&y=a+b%23c"},
        {URLEncode, u"100%", u"100%25"},
        {URLEncode, u"%41", u"%41"},
        {URLEncode, u"%4a%4G", u"%4a%254G"},
        {URLEncode, u"%4", u"%254"},
        {URLEncode, u"%%41%", u"%25%41%25"},
        {URLEncode, u"~\"<\x7f\t\r\n", u"%7E%22%3C%7F%09%0D%0A"},
        {URLEncode, u";/?:@&=+!*'(),$-_.", u";/?:@&=+!*'(),$-_."},
        {URLEncode, u"\u00e9\u00ff\u0001", u"%E9%FF%01"},
        {URLEncode, u"\u0100\u07ff\u0800\u20ac\uffff", u"%C4%80%DF%BF%E0%A0%80%E2%82%AC%EF%BF%BF"},
        {URLEncode, u"\U0001F600", u"%F0%9F%98%80"},
        {URLEncode, u"\U0010FFFF", u"%F4%8F%BF%BF"},
        // Lone surrogates, high and low, stand for no character.
        {URLEncode,
         u"\xD83D"
         u"a\xDE00\xD800",
         u"%EF%BF%BDa%EF%BF%BD%EF%BF%BD"},
        // Long text leaves the inline store.
        {URLEncode, Repeat(u"a \u00e9", 300), Repeat(u"a+%E9", 300)},
    };
    for (const auto& [transform, in, expected] : rows) {
        EXPECT_EQ(Apply(transform, in), expected) << ::testing::PrintToString(in);
        if (transform == URLEncode) { // encoding an encoded text again changes nothing
            EXPECT_EQ(Apply(URLEncode, expected), expected);
        }
    }
}

} // namespace
