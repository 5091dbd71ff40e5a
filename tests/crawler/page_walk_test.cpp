// SPDX-License-Identifier: Apache-2.0
#include "platform/kernel/Stack.h"
#include "support/CrawlSite.h"
#include "support/TestServers.h"

#include <string>
#include <tuple>
#include <vector>

namespace {

using Targets = std::vector<std::string>;

class PageWalk : public CrawlSite {
  protected:
    /// An image tag for `gif` on the other host, which serves it.
    std::string Img(const std::string& gif) {
        other.Page(gif, "gif", "image/gif");
        return "<img src=\"" + Other(gif) + "\">";
    }
    /// Engine pages n=0 to `pages` - 1, each linking to the next with `link` ("<a href=").
    void Chain(const std::string& link, int pages) {
        for (int n = 0; n < pages; ++n) {
            engine.Page("/orx?ORXCmd=Show&n=" + std::to_string(n),
                        link + "\"orx?ORXCmd=Show&n=" + std::to_string(n + 1) + "\">");
        }
    }
};

TEST_F(PageWalk, DepthCountsAnchorHopsAndFramesCostNothing) {
    engine.Page("/orx?ORXCmd=Show", "<A HREF=\"orx?ORXCmd=Show&p=a\">a</A><iframe "
                                    "src=\"orx?ORXCmd=Show&p=f\"></iframe>" +
                                        Img("/start.gif"));
    engine.Page("/orx?ORXCmd=Show&p=a", "<a href=\"orx?ORXCmd=Show&p=aa\">aa</a>" + Img("/a.gif"));
    engine.Page("/orx?ORXCmd=Show&p=f", "<a href=\"orx?ORXCmd=Show&p=fa\">fa</a>" + Img("/f.gif"));
    engine.Page("/orx?ORXCmd=Show&p=aa", "deepest");
    engine.Page("/orx?ORXCmd=Show&p=fa", "deepest");
    // a depth, and what the engine and the other host are asked for
    const std::tuple<int, Targets, Targets> cases[] = {
        {-1, {"/orx?ORXCmd=Show"}, {}},
        {0, {"/orx?ORXCmd=Show", "/orx?ORXCmd=Show&p=f"}, {"/f.gif", "/start.gif"}},
        {1,
         {"/orx?ORXCmd=Show", "/orx?ORXCmd=Show&p=a", "/orx?ORXCmd=Show&p=f",
          "/orx?ORXCmd=Show&p=fa"},
         {"/a.gif", "/f.gif", "/start.gif"}},
    };
    for (const auto& [depth, engineTargets, otherTargets] : cases) {
        engine.ClearRequests();
        other.ClearRequests();
        ASSERT_TRUE(Crawl(Engine("ORXCmd=Show"), depth));
        EXPECT_EQ(engine.Targets(), engineTargets) << "depth " << depth;
        EXPECT_EQ(other.Targets(), otherTargets) << "depth " << depth;
    }
}

TEST_F(PageWalk, ReferencesAreCleanedResolvedAndFiltered) {
    const std::string o = Other("");
    engine.Page(
        "/orx?ORXCmd=Show",
        "<img src=\"a?ORXCmd=List\">"
        "<BASE HREF=\"" +
            o +
            "/dir/\">"
            "<img src='b.gif'><base href=\"sub/\"><img src=c.gif>"
            "<input type=\"IMAGE\" src=i1.gif><input type=submit src=i2.gif><input src=i3.gif>"
            "<input type=image src=i4.gif>"
            "<img src=\"#top\"><img src=\"javascript:go()\"><img src=\"mailto:a@b\">"
            "<img src=\"f.gif#part\"><img src=\"q?a=1&amp;b=2\">"
            "<!-- <img src=\"commented.gif\"> -->"
            "<image src=\"image.gif\"><abbr src=\"abbr.gif\"><img alt=\"no source\">"
            "<img src=\"\"><img src=\"twice.gif\" SRC=\"second.gif\">"
            "<script src=\"s.js\"></script><link href=\"l.css\"><body background=\"bg.gif\">"
            "<object codebase=\"o.cab\"><area href=\"area.html\">");
    engine.Page("/a?ORXCmd=List", "x", "image/gif");
    ASSERT_TRUE(Crawl(Engine("ORXCmd=Show"), 0));
    EXPECT_EQ(engine.Targets(), (Targets{"/orx?ORXCmd=Show", "/a?ORXCmd=List"}));
    EXPECT_EQ(other.Targets(),
              (Targets{"/dir/b.gif", "/dir/sub/c.gif", "/dir/sub/i1.gif", "/dir/sub/i4.gif",
                       "/dir/sub/f.gif", "/dir/sub/q?a=1&b=2", "/dir/sub/twice.gif",
                       "/dir/sub/s.js", "/dir/sub/l.css", "/dir/sub/bg.gif", "/dir/sub/o.cab"}));
}

TEST_F(PageWalk, OnlyFollowedHtmlPagesAreWalked) {
    engine.Page("/orx?ORXCmd=Show", "<frame src=\"" + Other("/f.html") + "\"><script src=\"" +
                                        Other("/s.js") + "\"></script><iframe src=\"" +
                                        Other("/plain.txt") + "\">");
    other.Page("/f.html", "<img src=\"f.gif\">", "text/html; charset=utf-8");
    other.Page("/s.js", "<img src=\"s.gif\">", "text/html");
    other.Page("/plain.txt", "<img src=\"p.gif\">", "text/plain");
    other.Page("/f.gif", "gif", "image/gif");
    ASSERT_TRUE(Crawl(Engine("ORXCmd=Show"), 0, TRUE));
    EXPECT_EQ(other.Targets(), (Targets{"/f.html", "/f.gif", "/s.js", "/plain.txt"}));
}

TEST_F(PageWalk, RedirectedPagesResolveAgainstTheirFinalUrl) {
    engine.Redirect("/orx?ORXCmd=Show", "/app/start?ORXCmd=Show&r=1");
    engine.Page("/app/start?ORXCmd=Show&r=1",
                "<img src=\"img?ORXCmd=List\"><a href=\"" + Other("/moved") + "\">o</a>");
    engine.Page("/app/img?ORXCmd=List", "x", "image/gif");
    other.Redirect("/moved", Other("/deep/final.html"));
    other.Page("/deep/final.html", "<img src=\"pic.gif\">");
    other.Page("/deep/pic.gif", "gif", "image/gif");
    ASSERT_TRUE(Crawl(Engine("ORXCmd=Show"), 1, TRUE));
    EXPECT_EQ(engine.Targets(),
              (Targets{"/orx?ORXCmd=Show", "/app/start?ORXCmd=Show&r=1", "/app/img?ORXCmd=List"}));
    EXPECT_EQ(other.Targets(), (Targets{"/moved", "/deep/final.html", "/deep/pic.gif"}));
}

TEST_F(PageWalk, TheStartPageDecidesTheResult) {
    const std::string image = Img("/x.gif");
    // the start page's reply, the crawl's result, and whether the page was walked
    const std::tuple<CannedReply, bool, bool> cases[] = {
        {{200, "text/html", image, {}}, true, true},
        {{200, "text/html; charset=utf-8", image, {}}, true, true},
        {{200, "TEXT/HTML", image, {}}, true, true},
        {{200, "text/html ;charset=utf-8", image, {}}, true, false},
        {{200, "text/plain", image, {}}, true, false},
        {{404, "text/html", image, {}}, false, false},
        {{500, "text/html", image, {}}, false, false},
    };
    for (const auto& [reply, result, walked] : cases) {
        other.ClearRequests();
        engine.Reply("/orx?ORXCmd=Show", reply);
        EXPECT_EQ(Crawl(Engine("ORXCmd=Show"), 0) != 0, result) << reply.contentType;
        EXPECT_EQ(other.Targets().size(), walked ? 1u : 0u) << reply.contentType;
    }

    // A response without any media type counts as HTML.
    other.ClearRequests();
    testsupport::RawServer bare(
        "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(image.size()) + "\r\n\r\n" + image);
    EXPECT_TRUE(Crawl("http://127.0.0.1:" + std::to_string(bare.Port()) + "/orx?ORXCmd=Show", 0));
    EXPECT_EQ(other.Targets().size(), 1u);
}

TEST_F(PageWalk, FrameCyclesAndEndlessFrameChainsEnd) {
    engine.Page("/orx?ORXCmd=Show&p=a", "<frame src=\"orx?ORXCmd=Show&p=b\">");
    engine.Page("/orx?ORXCmd=Show&p=b", "<frame src=\"orx?ORXCmd=Show&p=a\">" + Img("/b.gif"));
    ASSERT_TRUE(Crawl(Engine("ORXCmd=Show&p=a"), 0));
    EXPECT_EQ(engine.Targets(),
              (Targets{"/orx?ORXCmd=Show&p=a", "/orx?ORXCmd=Show&p=b", "/orx?ORXCmd=Show&p=a"}));
    EXPECT_EQ(other.Targets(), (Targets{"/b.gif"}));

    // A page may still be walked again through an anchor: it costs depth.
    engine.ClearRequests();
    engine.Page("/orx?ORXCmd=Show&p=self", "<a href=\"orx?ORXCmd=Show&p=self\">me</a>");
    ASSERT_TRUE(Crawl(Engine("ORXCmd=Show&p=self"), 2));
    EXPECT_EQ(engine.Targets().size(), 3u);

    // Frames that never repeat a URL stop at the nesting limit.
    engine.ClearRequests();
    Chain("<frame src=", kMaxFramedRun + 2);
    ASSERT_TRUE(Crawl(Engine("ORXCmd=Show&n=0"), 0));
    EXPECT_EQ(engine.Targets().size(), static_cast<std::size_t>(kMaxFramedRun + 1));
}

TEST_F(PageWalk, AnchorChainsFollowTheConfiguredDepthAndTheStackIsNeverOverrun) {
    Chain("<a href=", 106);
    ASSERT_TRUE(Crawl(Engine("ORXCmd=Show&n=0"), 200));
    EXPECT_EQ(engine.Targets().size(), 107u) << "106 pages and the missing 107th";

    // On a small stack the walk stops going down before it runs out, says
    // so, and the page it stopped at is still fetched.
    engine.ClearRequests();
    Chain("<a href=", 3000);
    BOOL crawled = FALSE;
    RunOnLargeStack(kWalkStackReserve + (std::size_t{256} << 10),
                    [&] { crawled = Crawl(Engine("ORXCmd=Show&n=0"), 5000); });
    EXPECT_TRUE(crawled);
    EXPECT_EQ(slot.m_report.m_nNotWalked, 1);
    EXPECT_GT(engine.Targets().size(), 10u);
    EXPECT_LT(engine.Targets().size(), 3000u);
}

} // namespace
