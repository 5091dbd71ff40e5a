// SPDX-License-Identifier: Apache-2.0
// What a forwarded response may leave in the cache, as a private and as a
// shared HTTP cache, and the head it is stored with.
#include "platform/inet/Exchange.h"
#include "platform/inet/HttpCacheRules.h"
#include "support/CacheHome.h"
#include "support/InetTestSupport.h"
#include "support/TestServers.h"

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

namespace {

// Shared with other machines' clients, a response only this machine's user
// would be served (asked for with credentials, to be revalidated) is kept
// when this machine asked for it, and not at all when another one did: it
// would be that client's page served to this machine's user.
TEST(HttpCacheRules, ASharedCacheKeepsNoPersonalPageAnotherMachineAskedFor) {
    const testsupport::CacheHome cache;
    testsupport::LocalServer site;
    site.Routes().Get("/account", [](const httplib::Request&, httplib::Response& res) {
        res.set_header("Cache-Control", "must-revalidate");
        res.set_content("the balance of one user", "text/plain");
    });
    site.Start();
    const inet::OwnedSession session(
        InternetOpenW(u"test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    ASSERT_NE(session, nullptr);
    for (const bool others : {true, false}) {
        const std::string target = std::string("/account?others=") + (others ? "1" : "0");
        DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_HTTP_CACHE_SHARED;
        flags |= others ? INTERNET_FLAG_HTTP_CACHE_FOR_OTHERS : 0;
        DWORD error = 0;
        const std::unique_ptr<inet::Exchange> exchange =
            inet::Exchange::Send(session.get(),
                                 {"GET", "127.0.0.1", static_cast<unsigned>(site.Port()), target,
                                  flags, "Authorization: Basic dTpw\r\n", ""},
                                 error);
        ASSERT_NE(exchange, nullptr) << error;
        char body[256];
        std::size_t read = 0;
        do {
            ASSERT_EQ(exchange->Read(body, sizeof body, read), 0U);
        } while (read != 0);
        const std::string url = "http://127.0.0.1:" + std::to_string(site.Port()) + target;
        EXPECT_EQ(testsupport::LookUp(testsupport::W(url)).found, !others) << url;
    }
}

} // namespace
