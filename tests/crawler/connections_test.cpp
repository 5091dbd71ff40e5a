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
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using Targets = std::vector<std::string>;

class Connections : public CrawlSite {
  protected:
    /// A tree of pages on the other host, each with a frame, images drawn
    /// from a small shared set, a shared script and an engine image; the
    /// start page on the engine frames the tree's root.
    void BuildSite() {
        engine.Page("/orx?ORXCmd=Show", "<frameset><frame src=\"" + Other("/p/0.html") +
                                            "\"><img src=\"orx?ORXCmd=Show&img=s\">");
        for (int page = 0; page < 40; ++page) {
            std::string body = "<script src=\"/shared.js\"></script>";
            // The first image comes again right after itself: the connections cannot
            // have stored it yet when the walk meets it the second time.
            for (const int k : {0, 0, 1, 2, 3}) {
                body += "<img src=\"/i/" + std::to_string((page * 3 + k) % 11) + ".gif#" +
                        std::to_string(k) + "\">";
            }
            body += "<img src=\"" + Engine("ORXCmd=Show&img=" + std::to_string(page)) + "\">";
            for (const int child : {2 * page + 1, 2 * page + 2}) {
                if (child < 40) {
                    body += "<a href=\"/p/" + std::to_string(child) + ".html\">c</a>";
                }
            }
            if (page % 5 == 0 && page + 1 < 40) {
                body += "<iframe src=\"/p/" + std::to_string(page + 1) + ".html\"></iframe>";
            }
            other.Page("/p/" + std::to_string(page) + ".html", body);
            engine.Page("/orx?ORXCmd=Show&img=" + std::to_string(page), "gif", "image/gif");
        }
        engine.Page("/orx?ORXCmd=Show&img=s", "gif", "image/gif");
        for (int image = 0; image < 11; ++image) {
            other.Page("/i/" + std::to_string(image) + ".gif", "gif", "image/gif");
        }
        other.Page("/shared.js", "var x;", "text/javascript");
    }

    struct Seen {
        Targets engine; // in order
        Targets other;  // sorted
    };
    Seen CrawlWith(std::int32_t connections) {
        engine.ClearRequests();
        other.ClearRequests();
        slot.m_nConnections = connections;
        EXPECT_TRUE(Crawl(Engine("ORXCmd=Show"), 6, TRUE));
        Seen seen{engine.Targets(), other.Targets()};
        std::sort(seen.other.begin(), seen.other.end());
        return seen;
    }
};

TEST_F(Connections, SixConnectionsFetchWhatOneFetches) {
    BuildSite();
    const Seen one = CrawlWith(1);
    const Seen six = CrawlWith(6);
    EXPECT_EQ(six.engine, one.engine); // the engine's requests keep their order
    EXPECT_EQ(six.other, one.other);
    // Each shared resource once per run, whichever connection fetched it.
    std::map<std::string, int> counts;
    for (const std::string& target : six.other) {
        ++counts[target];
    }
    EXPECT_EQ(counts["/shared.js"], 1);
    for (int image = 0; image < 11; ++image) {
        EXPECT_EQ(counts["/i/" + std::to_string(image) + ".gif"], 1) << image;
    }
    // The next run fetches them again, with one connection as with six.
    EXPECT_EQ(CrawlWith(1).other, one.other);
}

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

// A host whose first answer sets a cookie gets every later request from
// the walk, in its order, each with the cookies one connection sends.
TEST_F(Connections, ResourcesOfAHostThatSetsACookieGoInWalkOrder) {
    std::string page;
    for (int image = 0; image < 8; ++image) {
        const std::string path = "/c/" + std::to_string(image) + ".gif";
        // By a name of its own: cookies go by host name, and the engine's
        // is 127.0.0.1 too.
        page += "<img src=\"http://localhost:" + std::to_string(other.Port()) + path + "\">";
        other.Reply(path, {200,
                           "image/gif",
                           "gif",
                           {},
                           std::chrono::milliseconds(20),
                           false,
                           {{"Set-Cookie", "seen=" + std::to_string(image) + "; Path=/"}}});
    }
    engine.Page("/orx?ORXCmd=Show", page);
    const auto cookies = [&](std::int32_t connections) {
        other.ClearRequests();
        slot.m_nConnections = connections;
        EXPECT_TRUE(Crawl(Engine("ORXCmd=Show"), 1, TRUE));
        std::vector<std::string> seen;
        for (const RecordedRequest& r : other.Requests()) {
            seen.push_back(r.target + " " + r.Header("Cookie"));
        }
        return seen;
    };
    // Each run starts with the cookie the run before it left.
    cookies(1);
    const std::vector<std::string> six = cookies(6);
    const std::vector<std::string> one = cookies(1);
    ASSERT_EQ(one.size(), 8U);
    EXPECT_EQ(one[3], "/c/3.gif seen=2");
    EXPECT_EQ(six, one);
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

} // namespace

namespace {

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
