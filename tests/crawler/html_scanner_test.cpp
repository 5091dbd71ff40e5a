#include "crawler/HtmlScanner.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace std::string_literals;

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

// Test texts are written as byte strings; every byte is one unit.
CVELString Wide(const std::string& text) {
    CVELString result;
    for (const char c : text) {
        result.AppendChar(static_cast<unsigned char>(c));
    }
    return result;
}

std::string Narrow(const CVELString& text) {
    std::string result;
    for (std::int32_t i = 0; i < text.GetLength(); ++i) {
        result += static_cast<char>(text.GetData()[i]);
    }
    return result;
}

Pairs PairsOf(const CVELStringPairList& list) {
    Pairs result;
    for (std::int32_t i = 0; i < list.GetCount(); ++i) {
        result.emplace_back(Narrow(*list.Names().GetAt(i)), Narrow(*list.Values().GetAt(i)));
    }
    return result;
}

std::vector<std::string> AllTags(const std::string& page) {
    const CVELString text = Wide(page);
    std::vector<std::string> tags;
    std::int32_t pos = 0;
    CVELString tag;
    while (GetNextHtmlTag(text, pos, tag)) {
        tags.push_back(Narrow(tag));
        EXPECT_EQ(text.GetData()[pos - 1], u'>');
    }
    EXPECT_EQ(pos, text.GetLength()) << page;
    EXPECT_EQ(tag.GetLength(), 0) << page;
    return tags;
}

/// A run of `n` ordinary units.
std::string T(std::size_t n) {
    return std::string(n, 't');
}

struct ParseCase {
    std::string tag;
    BOOL result;
    std::string name;
    Pairs pairs;
};

} // namespace

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
        EXPECT_EQ(AllTags(page), tags) << page;
    }
}

TEST(HtmlScanner, StopsAtOrPastTheEnd) {
    const CVELString page = Wide("<a>");
    CVELString tag = Wide("stale");
    std::int32_t pos = 3;
    EXPECT_EQ(GetNextHtmlTag(page, pos, tag), FALSE);
    EXPECT_EQ(pos, 3);
    EXPECT_EQ(tag.GetLength(), 0);
    pos = 1;
    EXPECT_EQ(GetNextHtmlTag(page, pos, tag), FALSE);
    EXPECT_EQ(pos, 3);
}

TEST(HtmlScanner, ParsesTagTexts) {
    const std::vector<ParseCase> cases = {
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
    for (const ParseCase& c : cases) {
        const CVELString tag = Wide(c.tag);
        EXPECT_EQ(ParseHtmlTag(tag, name, attributes, buffers), c.result) << c.tag;
        EXPECT_EQ(Narrow(name), c.name) << c.tag;
        EXPECT_EQ(PairsOf(attributes), c.pairs) << c.tag;
    }
}

TEST(HtmlScanner, ZeroTerminatedTagTextEndsAtItsFirstZero) {
    CVELString name;
    CVELStringPairList attributes;
    EXPECT_EQ(ParseHtmlTag(u"<A HREF=x>", name, attributes), TRUE);
    CVELString value;
    EXPECT_EQ(attributes.GetValue(u"href", value), TRUE);
    EXPECT_EQ(Narrow(value), "x");
    // Only "<a b" is seen: "a" and then "b" as the last unit, not taken.
    EXPECT_EQ(ParseHtmlTag(u"<a b\0c>", name, attributes), TRUE);
    EXPECT_EQ(Narrow(name), "a");
    EXPECT_EQ(attributes.GetCount(), 0);
}

TEST(HtmlScanner, WalksAPageAsTheCrawlerDoes) {
    const CVELString page =
        Wide("<html><!-- <a href=skip> --><body background=bg.gif>\n"
             "<a href=\"x.htm\">x</a><img src= a.gif><a \\\"bad\"><frame src=f.htm>");
    std::vector<std::string> seen;
    std::int32_t pos = 0;
    CVELString tag;
    CVELString name;
    CVELStringPairList attributes;
    CHtmlTagBuffers buffers;
    while (GetNextHtmlTag(page, pos, tag)) {
        if (tag.Find(u"<!--") != 0 && ParseHtmlTag(tag, name, attributes, buffers)) {
            seen.push_back(Narrow(name) + std::to_string(attributes.GetCount()));
        }
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"html0", "body1", "a1", "/a0", "img2", "frame1"}));
}

TEST(HtmlScanner, ReusesStorageBetweenTags) {
    CVELString name;
    CVELStringPairList attributes;
    CHtmlTagBuffers buffers;
    const CVELString longTag = Wide("<a b=" + std::string(2000, 'v') + " c d e>");
    ASSERT_EQ(ParseHtmlTag(longTag, name, attributes, buffers), TRUE);
    const char16_t* valueStore = buffers.m_strValue.GetData();
    for (const char* text : {"<i x=1 y=2>", "<p q>", "<br>"}) {
        const CVELString tag = Wide(text);
        ASSERT_EQ(ParseHtmlTag(tag, name, attributes, buffers), TRUE);
        EXPECT_EQ(attributes.Names().GetAllocated(), 4) << text;
        EXPECT_EQ(attributes.Values().GetAllocated(), 4) << text;
        EXPECT_EQ(buffers.m_strValue.GetData(), valueStore) << text;
    }
    EXPECT_EQ(attributes.GetCount(), 0);
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
        return ParseHtmlTag(Wide(text), name, attributes, buffers);
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
