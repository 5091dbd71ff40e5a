// SPDX-License-Identifier: Apache-2.0
#include "crawler/HtmlScanner.h"
#include "support/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace std::string_literals;

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

// Test texts are written as byte strings; every byte is one unit.
CVELString Units(const std::string& text) {
    const std::u16string wide = Wide(text);
    return CVELString(wide.data(), static_cast<std::int32_t>(wide.size()));
}

std::string Narrow(const CVELString& text) {
    const std::u16string units = Str(text);
    return std::string(units.begin(), units.end());
}

Pairs PairsOf(const CVELStringPairList& list) {
    Pairs result;
    for (std::int32_t i = 0; i < list.GetCount(); ++i) {
        result.emplace_back(Narrow(*list.Names().GetAt(i)), Narrow(*list.Values().GetAt(i)));
    }
    return result;
}

/// A run of `n` ordinary units.
std::string T(std::size_t n) {
    return std::string(n, 't');
}

TEST(HtmlScanner, FindsTagTexts) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"", {}},
        {"no markup at all", {}},
        {"text <", {}},
        {"a <b> c <i", {"<b>"}},
        {"<>", {"<>"}},
        {"<!-- <b> 1 > 0 --><i>", {"<!-- <b> 1 > 0 -->", "<i>"}},
        {"<!-- a -- > b --> c", {"<!-- a -- > b -->"}},
        {"<p>x<!-- never closed <b> -> <i>", {"<p>"}},
        {"<!-->x<b>", {"<!-->", "<b>"}},
        {"<!--->", {"<!--->"}},
        {"<!->x<b>", {"<!->", "<b>"}},
        {"<!DOCTYPE html><?xml version=\"1.0\"?>", {"<!DOCTYPE html>", "<?xml version=\"1.0\"?>"}},
        {"<a title=\"x>y\">", {"<a title=\"x>"}},
        {"<a\0b>\0<c>"s, {"<a\0b>"s, "<c>"}},
        {"x<a<b>", {"<a<b>"}},
        // Longer than the blocks the search takes at a time: a "<" as the
        // last unit of a block, ">" blocks away, a comment across blocks.
        {T(15) + "<" + T(20) + ">" + T(40) + "<i>", {"<" + T(20) + ">", "<i>"}},
        {T(31) + "<" + T(40), {}},
        {"<!--" + T(30) + "->" + T(20) + "-->", {"<!--" + T(30) + "->" + T(20) + "-->"}},
    };
    for (const auto& [page, tags] : cases) {
        const CVELString text = Units(page);
        std::vector<std::string> found;
        std::int32_t pos = 0;
        CVELString tag;
        while (GetNextHtmlTag(text, pos, tag)) {
            found.push_back(Narrow(tag));
            EXPECT_EQ(text.GetData()[pos - 1], u'>');
        }
        EXPECT_EQ(found, tags) << page;
        EXPECT_EQ(pos, text.GetLength()) << page;
        EXPECT_EQ(tag.GetLength(), 0) << page;
    }
}

TEST(HtmlScanner, ParsesTagTexts) {
    // a tag text, the result, the name and the attributes
    const std::vector<std::tuple<std::string, BOOL, std::string, Pairs>> cases = {
        {"<>", FALSE, "", {}},
        {"<", FALSE, "", {}},
        {"<a>", TRUE, "a", {}},
        {"< \t\n\f\ra \r>", TRUE, "a", {}},
        {"<a\vb>", TRUE, "a\vb", {}},
        {"<img src=a.gif alt=b>", TRUE, "img", {{"src", "a.gif"}, {"alt", "b"}}},
        {"<td nowrap width=5>", TRUE, "td", {{"nowrap", ""}, {"width", "5"}}},
        {"<a href  =  \"x\">", TRUE, "a", {{"href", "\"x\""}}},
        {"<img src= a.gif>", TRUE, "img", {{"src", ""}, {"a.gif", ""}}},
        {"<a title=\"x>", TRUE, "a", {{"title", "\"x"}}},
        {"<a title='it\\'s \"so\"' b>", TRUE, "a", {{"title", "'it\\'s \"so\"'"}, {"b", ""}}},
        {"<a b=\"\"c=d=e>", TRUE, "a", {{"b", "\"\""}, {"c", "d=e"}}},
        {"<img src=\"a\"/>", TRUE, "img", {{"src", "\"a\""}, {"/", ""}}},
        {"<br/>", TRUE, "br/", {}},
        {"<a \"b c\" d>", TRUE, "a\"b c\"", {{"d", ""}}},
        {"<a b\"c d\">", TRUE, "a", {{"b\"c d\"", ""}}},
        {"<a \\\"b\">", FALSE, "a", {}},
        {"<a b <c>", FALSE, "a", {}},
        {"<a b=c >", TRUE, "a", {{"b", "c"}}},
        {"<=x y>", FALSE, "", {}},
        {"<a =b>", FALSE, "", {}},
        {"<a=\"x\">", FALSE, "", {}},
        {"</TD>", TRUE, "/TD", {}},
        {"<A HREF=x>", TRUE, "A", {{"HREF", "x"}}},
        {"<a\0b c=\0>"s, TRUE, "a\0b"s, {{"c", "\0"s}}},
        {"<a b\0c=1>"s, TRUE, "a", {{"b", "1"}}},
        {"<a t=\"" + T(20) + "\\\"" + T(9) + "\" u>",
         TRUE,
         "a",
         {{"t", "\"" + T(20) + "\\\"" + T(9) + "\""}, {"u", ""}}},
        {"<a t='" + T(18) + "\">=< ' " + T(25) + ">",
         TRUE,
         "a",
         {{"t", "'" + T(18) + "\">=< '"}, {T(25), ""}}},
    };
    CVELString name;
    CVELStringPairList attributes;
    CHtmlTagBuffers buffers;
    for (const auto& [tag, result, tagName, pairs] : cases) {
        EXPECT_EQ(ParseHtmlTag(Units(tag), name, attributes, buffers), result) << tag;
        EXPECT_EQ(Narrow(name), tagName) << tag;
        EXPECT_EQ(PairsOf(attributes), pairs) << tag;
    }
    // A zero-terminated tag text ends at its first zero: only "<a b" is
    // seen, "a" and then "b" as the last unit, not taken.
    EXPECT_EQ(ParseHtmlTag(u"<a b\0c>", name, attributes), TRUE);
    EXPECT_EQ(Narrow(name), "a");
    EXPECT_EQ(attributes.GetCount(), 0);
}

TEST(HtmlScanner, ReusesStorageBetweenTags) {
    CVELString name;
    CVELStringPairList attributes;
    CHtmlTagBuffers buffers;
    ASSERT_TRUE(ParseHtmlTag(Units("<a b=" + std::string(2000, 'v') + " c d e>"), name, attributes,
                             buffers));
    const char16_t* valueStore = buffers.m_strValue.GetData();
    for (const char* text : {"<i x=1 y=2>", "<p q>", "<br>"}) {
        ASSERT_TRUE(ParseHtmlTag(Units(text), name, attributes, buffers));
        EXPECT_EQ(attributes.Names().GetAllocated(), 4) << text;
        EXPECT_EQ(buffers.m_strValue.GetData(), valueStore) << text;
    }
}

TEST(HtmlScanner, TagWithMoreAttributesThanAListHolds) {
    std::string unquoted = "<x";
    std::string quoted = "<x";
    for (int i = 0; i < 40000; ++i) {
        unquoted += " a" + std::to_string(i);
        quoted += " q" + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
    }
    CVELString name;
    CVELStringPairList attributes;
    CHtmlTagBuffers buffers;
    const auto parse = [&](const std::string& text) {
        return ParseHtmlTag(Units(text), name, attributes, buffers);
    };
    const std::int32_t limit = CVELStringList::kMaxElements;
    EXPECT_EQ(parse(unquoted + ">"), TRUE);
    ASSERT_EQ(attributes.GetCount(), limit);
    EXPECT_EQ(Narrow(*attributes.Names().GetAt(limit - 1)), "a32766");
    EXPECT_EQ(parse(quoted + " last=1>"), TRUE);
    ASSERT_EQ(attributes.GetCount(), limit);
    EXPECT_EQ(Narrow(*attributes.Values().GetAt(limit - 1)), "\"32766\"");
    // Scanning goes on past the full list, so a fault at the end still counts.
    EXPECT_EQ(parse(unquoted + " \\\"z\">"), FALSE);
    EXPECT_EQ(parse("<y k=v>"), TRUE);
    EXPECT_EQ(PairsOf(attributes), (Pairs{{"k", "v"}}));
}

} // namespace
