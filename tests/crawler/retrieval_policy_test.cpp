// SPDX-License-Identifier: Apache-2.0
#include "platform/kernel/LastError.h"
#include "support/CrawlSite.h"
#include "support/InetTestSupport.h"

#include <string>
#include <tuple>
#include <vector>

namespace {

using Targets = std::vector<std::string>;

class RetrievalPolicy : public CrawlSite {};

TEST_F(RetrievalPolicy, TheStartQueryMustNameAnAllowedCommandAndMethod) {
    const std::pair<std::string, bool> cases[] = {
        // the start query, and whether it is fetched
        {"ORXCmd=Show", true},
        {"x=1&ORXCmd=List", true},
        {"ORXCmd=Delete", false},
        {"ORXCmd=show", false},   // commands are compared with their case
        {"ORXCmd=Sh%6Fw", false}, // and undecoded
        {"ORXCmd=&x=1", false},
        {"ORXCmd=", false},
        {"ORXCmd=InvokeMethod&ORXMethod=Open", true},
        {"ORXMethod=Open&ORXCmd=InvokeMethod", true},
        {"ORXCmd=InvokeMethod&ORXMethod=Close", false},
        {"ORXCmd=InvokeMethod", false},
        {"XORXCmd=Show", true}, // a plain substring search: the first occurrence counts
        {"x=1&cmd=Show", false},
    };
    for (const auto& [query, fetched] : cases) {
        engine.ClearRequests();
        engine.Page("/orx?" + query, "<html>plain</html>");
        EXPECT_EQ(Crawl(Engine(query), 0) != 0, fetched) << query;
        EXPECT_EQ(engine.Targets(), fetched ? Targets{"/orx?" + query} : Targets{}) << query;
    }
}

TEST_F(RetrievalPolicy, HeadersAndCredentialsDependOnTheHost) {
    engine.Page("/orx?ORXCmd=Show", "<img src=\"" + Other("/i.gif") +
                                        "\"><img src=\"/logo.gif\">"
                                        "<img src=\"i?ORXCmd=List\">");
    engine.Page("/i?ORXCmd=List", "gif", "image/gif");
    other.Page("/i.gif", "gif", "image/gif");
    const std::u16string configured = u"Cookie: c=1\r\nAuthorization: Basic eDp5\r\n"
                                      u"Referer: http://r/\r\nConnection: close\r\n"
                                      u"If-modified-since: Sat, 01 Jan 2000 00:00:00 GMT\r\n"
                                      u"User-agent: fake\r\nHost: wrong\r\nX-Extra: 1\r\nbroken";
    ASSERT_TRUE(Crawl(Engine("ORXCmd=Show"), 0, FALSE, configured));

    // The engine's stylesheet-like URL without a query is never fetched.
    EXPECT_EQ(engine.Targets(), (Targets{"/orx?ORXCmd=Show", "/i?ORXCmd=List"}));
    ASSERT_EQ(other.Targets(), (Targets{"/i.gif"}));
    // Only what came from other hosts is kept in the cache.
    EXPECT_FALSE(testsupport::LookUp(Wide(Engine("ORXCmd=Show"))).found);
    EXPECT_TRUE(testsupport::LookUp(Wide(Other("/i.gif"))).found);
    const std::string agent = "Mozilla/4.0 (compatible; MSIE 4.0; OrvaneSynchCrawler)";
    const std::tuple<std::string, std::string, std::string> sent[] = {
        // a header, as sent to the start host and to another host ("": not sent)
        {"Host", engine.HostKey(), other.HostKey()},
        {"User-agent", agent, agent},
        {"Cookie", "c=1", ""},
        {"Authorization", "Basic eDp5", ""},
        {"X-Extra", "1", "1"},
        {"Referer", "", ""},
        {"If-modified-since", "", ""},
    };
    for (const auto& [name, toEngine, toOther] : sent) {
        for (const RecordedRequest& r : engine.Requests()) {
            EXPECT_EQ(r.Header(name), toEngine) << name;
            EXPECT_EQ(r.headers.count(name), toEngine.empty() ? 0u : 1u) << name;
        }
        EXPECT_EQ(other.Requests().at(0).Header(name), toOther) << name;
    }
    for (const RecordedRequest& r : engine.Requests()) {
        EXPECT_EQ(r.version, "HTTP/1.0");
        EXPECT_NE(r.Header("Connection"), "close");
    }
}

TEST_F(RetrievalPolicy, OutsidePagesNeedConsentAndResourcesAreFetchedOncePerRun) {
    const auto link = [this](const std::string& tag, const std::string& path) {
        return "<" + tag + "=\"" + Other(path) + "\">";
    };
    engine.Page("/orx?ORXCmd=Show",
                link("a href", "/page.html") + link("frame src", "/frame.html") +
                    link("img src", "/same.gif") + link("a href", "/page.html"));
    other.Page("/page.html", "<img src=\"same.gif\"><img src=\"only-page.gif\">");
    other.Page("/frame.html", "<img src=\"/same.gif\">");
    other.Page("/same.gif", "gif", "image/gif");
    other.Page("/only-page.gif", "gif", "image/gif");

    ASSERT_TRUE(Crawl(Engine("ORXCmd=Show"), 1, FALSE));
    EXPECT_EQ(other.Targets(), (Targets{"/same.gif"}));

    other.ClearRequests();
    ASSERT_TRUE(Crawl(Engine("ORXCmd=Show"), 1, TRUE));
    // A new run fetches the image again, once; followed pages every time they are met.
    EXPECT_EQ(other.Targets(),
              (Targets{"/page.html", "/same.gif", "/only-page.gif", "/frame.html", "/page.html"}));
}

TEST(StartHost, HostsCompareIgnoringCaseWithTheDefaultPortLeftOut) {
    // the start host, a URL's host, port and scheme, and whether it is the start host
    const std::tuple<const char16_t*, const char16_t*, INTERNET_PORT, BOOL, bool> rows[] = {
        {u"Engine.Example", u"engine.EXAMPLE", 80, FALSE, true},
        {u"Engine.Example", u"engine.example", 81, FALSE, false},
        {u"Engine.Example", u"engine.example", 80, TRUE, false},
        {u"Engine.Example", u"engine.exampl", 80, FALSE, false},
        {u"engine:8080", u"ENGINE", 8080, FALSE, true},
        {u"engine:8080", u"engine", 80, FALSE, false},
        {u"secure", u"secure", 443, TRUE, true}};
    for (const auto& [startHost, host, port, secure, same] : rows) {
        CSubscription slot;
        slot.m_startHost.Assign(startHost);
        EXPECT_EQ(slot.IsStartHost(host, port, secure) != 0, same)
            << testsupport::A(host) << ":" << port;
    }
}

} // namespace
