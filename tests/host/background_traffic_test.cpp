// SPDX-License-Identifier: Apache-2.0
// Which requests count as the browser's own, kept out of the missed list.
#include "host/proxy/BackgroundTraffic.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

struct Case {
    const char* what;
    proxy::RequestSigns signs;
    bool background;
};

constexpr const char* kPage = "text/html,application/xhtml+xml,*/*;q=0.8";
constexpr const char* kImage = "image/avif,image/webp,*/*;q=0.8";

TEST(BackgroundTrafficTest, TheBrowsersOwnRequestsAreToldFromWhatAPersonAskedFor) {
    const Case cases[] = {
        {"a page opened", {"http://a.example/doc.html", "", kPage, ""}, false},
        {"a link followed", {"http://a.example/b", "http://a.example/", kPage, ""}, false},
        {"an image of a page", {"http://a.example/p.png", "http://a.example/", kImage, ""}, false},
        {"a script's fetch", {"http://a.example/api?q=1", "http://a.example/", "*/*", ""}, false},
        {"a time check", {"http://clients2.example/time/1/current?cup2key=9:1", "", "", ""}, true},
        {"a connectivity check", {"http://detect.example/success.txt", "", "*/*", ""}, true},
        {"an icon", {"http://a.example/favicon.ico", "", kImage, ""}, true},
        {"an icon a page names",
         {"http://a.example/i/Favicon-32.png?v=2", "http://a.example/", kImage, ""},
         true},
        {"a touch icon", {"http://a.example/apple-touch-icon-precomposed.png", "", "", ""}, true},
        {"an icon's name in the query", {"http://a.example/p?f=favicon.ico", "", kPage, ""}, false},
        {"a prefetch", {"http://a.example/next", "http://a.example/", kPage, "prefetch;"}, true},
        {"a prerender", {"http://a.example/next", "", kPage, ";prefetch;prerender;"}, true},
        {"Firefox's prefetch", {"http://a.example/next", "", kPage, ";;PREFETCH;"}, true},
        {"Safari's preview", {"http://a.example/next", "", kPage, ";;;preview"}, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(proxy::IsBackgroundTraffic(c.signs), c.background) << c.what;
    }
}

TEST(BackgroundTrafficTest, SignsAreReadFromTheFieldsByName) {
    const std::map<std::string, std::string> given = {
        {"Accept", "text/html"}, {"Referer", "http://a.example/"}, {"Sec-Purpose", "prefetch"}};
    struct Fields {
        const std::map<std::string, std::string>& map;
        std::string_view operator[](const char* name) const {
            const auto found = map.find(name);
            return found == map.end() ? std::string_view() : std::string_view(found->second);
        }
    };
    std::string purposes;
    const proxy::RequestSigns signs = proxy::SignsOf("http://a.example/x", Fields{given}, purposes);
    EXPECT_EQ(signs.accept, "text/html");
    EXPECT_EQ(signs.referer, "http://a.example/");
    EXPECT_TRUE(proxy::IsBackgroundTraffic(signs)) << "marked as a prefetch";
}

} // namespace
