// SPDX-License-Identifier: Apache-2.0
#include "net/Url.h"
#include "support/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

struct Parsed {
    CVELString host;
    CVELString path;
    INTERNET_PORT port = 0;
    BOOL secure = 7;
};

TEST(ParseURL, SplitsHttpAndHttpsUrls) {
    // text, host, path, port, secure
    const std::tuple<const char16_t*, const char16_t*, const char16_t*, INTERNET_PORT, BOOL>
        rows[] = {
            {u"http://h/a/b?x=1#f", u"h", u"/a/b?x=1#f", 80, 0},
            {u"HTTPS://Hh:444", u"Hh", u"/", 444, 1},
            {u"https://h/", u"h", u"/", 443, 1},
            {u"https://h:443/", u"h", u"/", 443, 1},
            {u"http://h:443/", u"h", u"/", 443, 0},
            {u"//h/p", u"h", u"/p", 80, 0},
            {u"http://h?q=/x", u"h?q=", u"/x", 80, 0},
            {u"http://user@h/p", u"user@h", u"/p", 80, 0},
            {u"http://h:0081/", u"h", u"/", 81, 0},
            {u"http://h:0/", u"h", u"/", 0, 0},
            {u"https://h:65535/p:q", u"h", u"/p:q", 65535, 1},
            {u"http://h:000000000000000000081", u"h", u"/", 81, 0},
        };
    for (const auto& [text, host, path, port, secure] : rows) {
        Parsed p;
        EXPECT_TRUE(ParseURL(text, p.host, p.path, &p.port, &p.secure))
            << ::testing::PrintToString(std::u16string(text));
        EXPECT_EQ(Str(p.host) + u" " + Str(p.path), std::u16string(host) + u" " + path);
        EXPECT_EQ(p.port, port);
        EXPECT_EQ(p.secure, secure);
    }
    // The text may live in one of the outputs.
    CVELString host(u"http://k:81/p");
    CVELString path;
    INTERNET_PORT port = 0;
    BOOL secure = 0;
    ASSERT_TRUE(ParseURL(host.GetData(), host, path, &port, &secure));
    EXPECT_EQ(Str(host) + u" " + Str(path), u"k /p");
    EXPECT_EQ(port, 81);
}

TEST(ParseURL, RejectsWhatIsNotAnHttpUrl) {
    for (const char16_t* text :
         {u"http:/h/p", u"http:h", u"h/p", u"", u"http:///p", u"http://:80/", u"http://h:/",
          u"http://h:8a/", u"http://u:pw@h/", u"ftp://h/", u"mailto:a@b", u"h:81/x",
          u"javascript:x()", u"httpx://h/", u"http://h:65536/", u"http://h:99999999999999999999/",
          u"http://h:1:2/"}) {
        Parsed p;
        EXPECT_FALSE(ParseURL(text, p.host, p.path, &p.port, &p.secure))
            << ::testing::PrintToString(std::u16string(text));
    }
}

TEST(AppendPort, LeavesOutOnlyTheSchemeDefault) {
    const std::tuple<INTERNET_PORT, BOOL, const char16_t*> rows[] = {
        {80, 0, u"h"},    {80, 1, u"h:80"}, {443, 1, u"h"},        {443, 0, u"h:443"},
        {81, 0, u"h:81"}, {0, 0, u"h:0"},   {65535, 1, u"h:65535"}};
    for (const auto& [port, secure, expected] : rows) {
        CVELString text(u"h");
        AppendPort(text, port, secure);
        EXPECT_EQ(Str(text), expected);
    }
}

} // namespace
