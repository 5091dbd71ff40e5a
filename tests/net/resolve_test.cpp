#include "net/ResolveUrl.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr char16_t kPage[] = u"http://h/a/b/c.html?x=1#top";

std::u16string Text(const CVELString& s) {
    return std::u16string(s.GetData(), s.GetLength());
}

struct Row {
    const char16_t* base;
    const char16_t* ref;
    const char16_t* expected;
};

void ExpectResolved(const Row& row) {
    CVELString out(u"old");
    EXPECT_TRUE(ResolveURL(row.base, row.ref, out))
        << ::testing::PrintToString(std::u16string(row.ref));
    EXPECT_EQ(Text(out), row.expected);
}

void ExpectRefused(const char16_t* base, const char16_t* ref) {
    CVELString out(u"old");
    EXPECT_FALSE(ResolveURL(base, ref, out)) << ::testing::PrintToString(std::u16string(ref));
    EXPECT_EQ(Text(out), u"old");
}

TEST(ResolveURL, RelativePathsJoinTheBaseDirectory) {
    const Row rows[] = {
        {kPage, u"d.html", u"http://h/a/b/d.html"},
        {kPage, u"./d.html", u"http://h/a/b/d.html"},
        {kPage, u"../d.html", u"http://h/a/d.html"},
        {kPage, u"../../../d.html", u"http://h/d.html"},
        {kPage, u".././d.html", u"http://h/a/d.html"},
        {kPage, u"a/../d.html", u"http://h/a/b/a/../d.html"},
        {kPage, u"..", u"http://h/a/b/.."},
        {kPage, u".", u"http://h/a/b/."},
        {kPage, u"...d", u"http://h/a/b/...d"},
        {kPage, u"http:d.html", u"http://h/a/b/http:d.html"},
        {kPage, u"d.html#s", u"http://h/a/b/d.html#s"},
        {kPage, u"d.html?q#s", u"http://h/a/b/d.html?q#s"},
        {kPage, u"d?u#v#w", u"http://h/a/b/d?u#v#w"},
        {u"http://h", u"d", u"http://h/d"},
        {u"https://h:8443/x/", u"../../d", u"https://h:8443/d"},
    };
    for (const Row& row : rows) {
        ExpectResolved(row);
    }
}

TEST(ResolveURL, QueriesAbsolutePathsAndAbsoluteReferences) {
    const Row rows[] = {
        {kPage, u"?y=2", u"http://h/a/b/c.html?y=2"},
        {kPage, u"#s", u"http://h/a/b/c.html?x=1#s"},
        {kPage, u"/z?q", u"http://h/z?q"},
        {u"http://h:81/a", u"/z", u"http://h:81/z"},
        {u"https://h/a", u"//k/z", u"http://k/z"},
        {kPage, u"https://k:444/p?z", u"https://k:444/p?z"},
        {kPage, u"HTTP://k:80/p", u"http://k/p"},
        {kPage, u"hTtPs://k:443", u"https://k/"},
        {u"not a url", u"http://k/p", u"http://k/p"},
    };
    for (const Row& row : rows) {
        ExpectResolved(row);
    }
}

TEST(ResolveURL, NetworkPathThatDidNotParseKeepsTheBasePort) {
    // The fragment or query is split off first, so the host left behind is
    // valid even though the whole reference was not.
    const Row rows[] = {
        {u"http://h:81/", u"//k#x:", u"http://k:81/#x:"},
        {u"https://h/", u"//k?:/z", u"https://k/?:/z"},
        {kPage, u"//k:81#:", u"http://k:81/#:"},
    };
    for (const Row& row : rows) {
        ExpectResolved(row);
    }
}

TEST(ResolveURL, RefusesAndLeavesOutputUnchanged) {
    const char16_t* const refs[] = {
        u"mailto:a@b",
        u"javascript:go()",
        u"ftp://h/",
        u"p:q/r",
        u"?a=b:c",
        u"///x",
        // A host whose port does not parse would give a URL nobody can split.
        u"//k:8x/z",
        u"//k:99999/z",
        u"//k:/z",
        u"//:80/z",
    };
    for (const char16_t* ref : refs) {
        ExpectRefused(kPage, ref);
    }
    ExpectRefused(u"http://h:81/", u"//k:81#:");
    ExpectRefused(u"mailto:a@b", u"d.html");
    ExpectRefused(u"http:/h/", u"/d");
}

} // namespace
