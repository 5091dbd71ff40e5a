// SPDX-License-Identifier: Apache-2.0
// What a forwarded response may leave in the cache, as a private and as a
// shared HTTP cache, and the head it is stored with.
#include "platform/inet/HttpCacheRules.h"

#include <gtest/gtest.h>

namespace {

inet::ResponseHead Head(const std::string& fields) {
    inet::ResponseHead head;
    const std::string text = "HTTP/1.1 200 OK\r\n" + fields + "\r\n";
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        head.AddLine(std::string_view(text).substr(start, end + 2 - start));
        start = end + 2;
    }
    return head;
}

TEST(HttpCacheRules, PrivateAndSharedCachesKeepWhatHttpAllows) {
    const struct {
        std::string response, request;
        bool privately, shared;
    } cases[] = {
        {"Content-Type: text/html\r\n", "", true, true},
        {"Cache-Control: max-age=60, No-Store\r\n", "", false, false},
        {"Cache-Control: max-age=60\r\nCache-Control: no-store\r\n", "", false, false},
        {"Cache-Control: no-store-later\r\n", "", true, true},
        {"", "Cache-Control: no-store\r\n", false, false},
        {"Cache-Control: private\r\n", "", true, false},
        {"Cache-Control: private=\"Set-Cookie\"\r\n", "", true, false},
        {"Cache-Control: no-cache\r\n", "", true, true},
        {"Vary: Accept, *\r\n", "", false, false},
        {"Vary: Accept-Language\r\n", "", true, true},
        {"", "Authorization: Basic dTpw\r\n", true, false},
        {"Cache-Control: public\r\n", "Authorization: Basic dTpw\r\n", true, true},
        {"Cache-Control: s-maxage=5\r\n", "Authorization: Basic dTpw\r\n", true, true},
        {"Cache-Control: must-revalidate\r\n", "Authorization: Basic dTpw\r\n", true, true},
    };
    for (const auto& c : cases) {
        const inet::ResponseHead head = Head(c.response);
        EXPECT_EQ(inet::MayStoreResponse(head, c.request, false), c.privately)
            << c.response << c.request;
        EXPECT_EQ(inet::MayStoreResponse(head, c.request, true), c.shared)
            << c.response << c.request;
    }
    // Kept by a shared cache, but only for this machine's user: what may
    // not be reused for someone else without asking the origin.
    const struct {
        std::string response, request;
        bool onlyHere;
    } reuse[] = {
        {"Cache-Control: max-age=60\r\n", "", false},
        {"Cache-Control: public\r\n", "Authorization: Basic dTpw\r\n", true},
        {"Cache-Control: no-cache\r\n", "", true},
        {"Cache-Control: must-revalidate\r\n", "", true},
        {"Cache-Control: proxy-revalidate\r\n", "", true},
        {"Vary: Cookie\r\n", "", true},
    };
    for (const auto& c : reuse) {
        const inet::ResponseHead head = Head(c.response);
        EXPECT_EQ(inet::OnlyForThisMachine(head, c.request, true), c.onlyHere) << c.response;
        EXPECT_TRUE(inet::OnlyForThisMachine(head, c.request, false)) << "a private cache's";
    }
}

TEST(HttpCacheRules, StoredHeadsLoseCookiesAndCarryTheCertificateMark) {
    const std::string raw = "HTTP/1.1 200 OK\r\nSet-Cookie: a=1;\r\n path=/\r\nContent-Type: "
                            "text/plain\r\nset-cookie2: b=2\r\nX-Dravik-Certificate: "
                            "verified\r\n\r\n";
    EXPECT_EQ(inet::StoredHeadText(raw, {true, false, false}),
              "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n");
    EXPECT_EQ(
        inet::StoredHeadText(raw + "X-Dravik-Cache: x\r\n", {true, false, true}),
        "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nX-Dravik-Cache: this-machine\r\n\r\n");
    EXPECT_EQ(inet::StoredHeadText(raw, {false, true, false}),
              "HTTP/1.1 200 OK\r\nSet-Cookie: a=1;\r\n path=/\r\nContent-Type: "
              "text/plain\r\nset-cookie2: b=2\r\nX-Dravik-Certificate: unverified\r\n\r\n");
}

} // namespace
