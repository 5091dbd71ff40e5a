// SPDX-License-Identifier: Apache-2.0
#include "net/ResolveUrl.h"
#include "support/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

constexpr char16_t kPage[] = u"http://h/a/b/c.html?x=1#top";

TEST(ResolveURL, ResolvesOrRefusesLeavingTheOutputUnchanged) {
    // base, reference, the URL it resolves to (null: refused)
    const std::tuple<const char16_t*, const char16_t*, const char16_t*> rows[] = {
        // Relative paths join the base directory; dot segments inside stay.
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
        // Queries, absolute paths and absolute references.
        {kPage, u"?y=2", u"http://h/a/b/c.html?y=2"},
        {kPage, u"#s", u"http://h/a/b/c.html?x=1#s"},
        {kPage, u"/z?q", u"http://h/z?q"},
        {u"http://h:81/a", u"/z", u"http://h:81/z"},
        {u"https://h/a", u"//k/z", u"http://k/z"},
        {kPage, u"https://k:444/p?z", u"https://k:444/p?z"},
        {kPage, u"HTTP://k:80/p", u"http://k/p"},
        {kPage, u"hTtPs://k:443", u"https://k/"},
        {u"not a url", u"http://k/p", u"http://k/p"},
        // A network path that did not parse keeps the base port: the
        // fragment or query is split off first, so the host left is valid.
        {u"http://h:81/", u"//k#x:", u"http://k:81/#x:"},
        {u"https://h/", u"//k?:/z", u"https://k/?:/z"},
        {kPage, u"//k:81#:", u"http://k:81/#:"},
        // Other schemes, and hosts whose port does not parse (a URL nobody could split).
        {kPage, u"mailto:a@b", nullptr},
        {kPage, u"javascript:go()", nullptr},
        {kPage, u"ftp://h/", nullptr},
        {kPage, u"p:q/r", nullptr},
        {kPage, u"?a=b:c", nullptr},
        {kPage, u"///x", nullptr},
        {kPage, u"//k:8x/z", nullptr},
        {kPage, u"//k:99999/z", nullptr},
        {kPage, u"//k:/z", nullptr},
        {kPage, u"//:80/z", nullptr},
        {u"http://h:81/", u"//k:81#:", nullptr},
        {u"mailto:a@b", u"d.html", nullptr},
        {u"http:/h/", u"/d", nullptr},
    };
    for (const auto& [base, ref, expected] : rows) {
        CVELString out(u"old");
        EXPECT_EQ(ResolveURL(base, ref, out), expected != nullptr ? TRUE : FALSE)
            << ::testing::PrintToString(std::u16string(ref));
        EXPECT_EQ(Str(out), expected != nullptr ? expected : u"old");
    }
}

} // namespace
