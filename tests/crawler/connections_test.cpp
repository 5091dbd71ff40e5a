// SPDX-License-Identifier: Apache-2.0
// A crawl with several connections fetches what a crawl with one fetches.
#include "crawler/CrawlScheduler.h"
#include "net/HttpRequest.h"
#include "net/Url.h"
#include "platform/kernel/LastError.h"
#include "support/CrawlSite.h"
#include "support/TestServers.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace {

using Targets = std::vector<std::string>;

class Connections : public CrawlSite {};

TEST_F(Connections, AConnectionWithNoPageToFetchAheadFetchesResources) {
    engine.Page("/orx?ORXCmd=Show", "<a href=\"" + Other("/p/0.html") + "\">site</a>");
    std::string page;
    for (int image = 0; image < 24; ++image) {
        const std::string path = "/i/" + std::to_string(image) + ".gif";
        page += "<img src=\"" + path + "\">";
        other.Reply(path, {200, "image/gif", "gif", {}, std::chrono::milliseconds(30)});
        // Every third image of a host that sets cookies, which the walk
        // fetches itself, in its order, while the other connections are busy.
        if (image % 3 == 0) {
            const std::string own = "/c/" + std::to_string(image) + ".gif";
            page += "<img src=\"http://localhost:" + std::to_string(other.Port()) + own + "\">";
            other.Reply(own, {200,
                              "image/gif",
                              "gif",
                              {},
                              std::chrono::milliseconds(30),
                              false,
                              {{"Set-Cookie", "c=1; Path=/"}}});
        }
    }
    other.Page("/p/0.html", page);
    // Three connections: one for pages fetched ahead, two for resources.
    // The one for pages has none left after the first, and joins the two;
    // the walk's own fetches share the same three, so three is the most.
    slot.m_nConnections = 3;
    ASSERT_TRUE(Crawl(Engine("ORXCmd=Show"), 2, TRUE));
    EXPECT_EQ(other.MostAtOnce(), 3);
    EXPECT_EQ(other.Targets().size(), 33U);
}

// A resource redirected to an address the page names next, on a host the
// walk fetches itself (its first contact): the server sees that address
// once, as with one connection, whichever request gets there first.
TEST_F(Connections, ARedirectToAnAddressThePageNamesCostsNoExtraRequest) {
    const std::string named = "http://localhost:" + std::to_string(other.Port()) + "/u.gif";
    engine.Page("/orx?ORXCmd=Show", "<iframe src=\"" + Other("/page.html") + "\">");
    other.Page("/page.html",
               "<img src=\"" + Other("/moved.gif") + "\"><img src=\"" + named + "\">");
    other.Page("/u.gif", "gif", "image/gif");
    for (const int delay : {0, 60}) {
        other.Reply("/moved.gif",
                    {302, "text/html", "moved", named, std::chrono::milliseconds(delay)});
        for (const std::int32_t connections : {1, 6}) {
            other.ClearRequests();
            slot.m_nConnections = connections;
            ASSERT_TRUE(Crawl(Engine("ORXCmd=Show"), 1, TRUE));
            const Targets targets = other.Targets();
            EXPECT_EQ(std::count(targets.begin(), targets.end(), "/u.gif"), 1)
                << connections << " connections, redirect after " << delay << " ms";
        }
    }
}

TEST_F(Connections, TheWalkWaitsForAFetchOfTheSameEntryUnderWay) {
    other.Reply("/slow.gif", {200, "image/gif", "gif", {}, std::chrono::milliseconds(100)});
    const std::string url = Other("/slow.gif");
    auto request = std::make_unique<CHttpRequest>();
    ASSERT_TRUE(ParseURL(Wide(url).c_str(), request->m_host, request->m_path, &request->m_nPort,
                         &request->m_bSecure));
    GetSystemTimeAsFileTime(&slot.m_syncStart);
    ASSERT_TRUE(slot.TNeedToRetrieveURL(Wide(url).c_str(), *request, FALSE));
    CCrawlScheduler scheduler(2, CVELString(Wide(engine.HostKey()).c_str()), slot.m_syncStart);
    scheduler.Hand(std::move(request), CVELString(Wide(url).c_str()));
    // Under another spelling of the same entry, answered only after 100 ms.
    scheduler.AwaitFetchesOf(Wide(url + "#top").c_str());
    DWORD size = 0;
    EXPECT_FALSE(
        GetUrlCacheEntryInfoExW(Wide(url).c_str(), nullptr, &size, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER) << "the entry is there once it returns";
    scheduler.Wait();
}

// A large page fetched ahead is read at once, into a temporary file past a
// few MiB: its server's send time-out cannot drop it while the walk is still
// busy elsewhere, so it is kept and walked as with one connection.
TEST_F(Connections, ALargePageFetchedAheadIsReadAtOnceAndKept) {
    testsupport::LocalServer impatient; // gives up on a client that stops reading
    const std::string large =
        "<html><body>" + std::string(20 << 20, 'x') + "<img src=\"/after.gif\"></body></html>";
    std::atomic<bool> after = false;
    impatient.Routes().set_write_timeout(0, 300000);
    impatient.Routes().Get("/large.html",
                           [&large](const httplib::Request&, httplib::Response& res) {
                               res.set_content(large, "text/html");
                           });
    impatient.Routes().Get("/after.gif", [&after](const httplib::Request&, httplib::Response& res) {
        after = true;
        res.set_content("gif", "image/gif");
    });
    impatient.Start();
    const std::string largeUrl =
        "http://127.0.0.1:" + std::to_string(impatient.Port()) + "/large.html";
    engine.Page("/orx?ORXCmd=Show",
                "<a href=\"" + Other("/p/0.html") + "\">a</a><a href=\"" + largeUrl + "\">b</a>");
    // The walk spends a second below the first page before it reaches the
    // second, which has been fetched ahead by then.
    other.Page("/p/0.html", "<a href=\"/p/1.html\">slow</a>");
    other.Reply("/p/1.html", {200, "text/html", "<p>slow</p>", "", std::chrono::seconds(1)});
    slot.m_nConnections = 3;
    ASSERT_TRUE(Crawl(Engine("ORXCmd=Show"), 3, TRUE));
    DWORD size = 0;
    EXPECT_FALSE(GetUrlCacheEntryInfoExW(Wide(largeUrl).c_str(), nullptr, &size, nullptr, nullptr,
                                         nullptr, 0));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER) << "the large page was not kept";
    EXPECT_TRUE(after) << "the large page was not walked to its end";
}

} // namespace
