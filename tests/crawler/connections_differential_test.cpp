// SPDX-License-Identifier: Apache-2.0
// Random sites crawled with one connection and with six: the same requests,
// with the same cookies, the same entries refreshed in the cache and the
// same outcome, whatever the timing of the resources fetched beside the
// walk and of the pages fetched ahead of it. The sites have slow answers,
// large pages (one now and then larger than what pages fetched ahead may
// hold in memory), resources redirected to others the pages name, and
// resources on a host that sets a cookie with every answer.
#include "platform/inet/WinInet.h"
#include "support/CrawlSite.h"

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

/// What one crawl did, in a form that two crawls can be compared in.
struct RunRecord {
    BOOL result = FALSE;
    int step = 0;
    DWORD status = 0;
    std::int32_t notWalked = 0;
    std::int32_t tooLarge = 0;
    Lines engine;    // in order: the start host's requests never overlap
    Lines other;     // sorted: the resources' order depends on timing
    Lines refreshed; // cache entries written during the run, with their sizes
};

enum class ResourceKind { kOk, kMissing, kReset, kMoved, kCookie };

class ConnectionsDifferential : public CrawlSite {
  protected:
    /// Builds the site of `seed` on both servers under its own prefix and
    /// returns the start URL; sets the crawl's depth and outside-link choice.
    std::string BuildRandomSite(std::uint32_t seed, int& depth, BOOL& outside) {
        m_rng.seed(seed);
        m_prefix = "/s" + std::to_string(seed);
        m_pages = 2 + Pick(12);
        m_resources = 2 + Pick(10);
        m_enginePages = 1 + Pick(4);
        depth = Pick(4);
        outside = Pick(4) != 0 ? TRUE : FALSE;
        for (int r = 0; r < m_resources; ++r) {
            AddResource(r);
        }
        // Drawn first, so that the pages know which of them are redirected.
        std::vector<int> fates(static_cast<std::size_t>(m_pages));
        m_redirected.assign(fates.size(), false);
        for (std::size_t p = 0; p < fates.size(); ++p) {
            fates[p] = Pick(10);
            m_redirected[p] = fates[p] == 1;
        }
        // Now and then a page larger than what is held in memory for the walk.
        const int huge = Pick(10) == 0 ? Pick(m_pages) : -1;
        for (int p = 0; p < m_pages; ++p) {
            const auto at = static_cast<std::size_t>(p);
            if (fates[at] == 0) {
                continue; // an anchor to it meets a 404
            }
            if (fates[at] == 1) {
                // To another page, or to the engine, which early fetches
                // may not reach before the walk does.
                const std::string to =
                    Pick(3) == 0
                        ? Engine(EngineTarget(Pick(m_enginePages)).substr(5))
                        : Other(m_prefix + "/p/" + std::to_string(Pick(m_pages)) + ".html");
                other.Redirect(m_prefix + "/p/" + std::to_string(p) + ".html", to);
                continue;
            }
            // Some pages are large, some slow to answer.
            std::string body = PageBody();
            const int size = p == huge ? 9 << 20 : Pick(4) == 0 ? (64 << 10) + Pick(200 << 10) : 0;
            body += "<!--" + std::string(static_cast<std::size_t>(size), 'x') + "-->";
            const std::chrono::milliseconds delay{Pick(4) == 0 ? 20 : 0};
            other.Reply(m_prefix + "/p/" + std::to_string(p) + ".html",
                        {200, "text/html", body, {}, delay});
        }
        for (int e = 0; e < m_enginePages; ++e) {
            engine.Page(EngineTarget(e), PageBody());
            engine.Page("/orx?ORXCmd=Show&img=" + std::to_string(e) + "&s=" + m_prefix.substr(1),
                        "gif", "image/gif");
        }
        return Engine(EngineTarget(0).substr(5));
    }

    RunRecord CrawlWith(std::int32_t connections, const std::string& start, int depth,
                        BOOL outside) {
        engine.ClearRequests();
        other.ClearRequests();
        // A session of its own, as each run of the program has: no cookie
        // of the run before.
        CloseInternetSession();
        EXPECT_TRUE(OpenInternetSession());
        slot.m_nConnections = connections;
        RunRecord run;
        run.result = Crawl(start, depth, outside, u"Cookie: c=1\r\nAuthorization: Basic eA==");
        run.step = static_cast<int>(slot.m_report.m_step);
        run.status = slot.m_report.m_dwStatus;
        run.notWalked = slot.m_report.m_nNotWalked;
        run.tooLarge = slot.m_report.m_nTooLarge;
        run.engine = Describe(engine.Requests());
        run.other = Describe(other.Requests());
        std::sort(run.other.begin(), run.other.end());
        run.refreshed = RefreshedSince(slot.m_syncStart);
        return run;
    }

    static void ExpectSame(const RunRecord& one, const RunRecord& six) {
        EXPECT_EQ(six.result, one.result);
        EXPECT_EQ(six.step, one.step);
        EXPECT_EQ(six.status, one.status);
        EXPECT_EQ(six.notWalked, one.notWalked);
        EXPECT_EQ(six.tooLarge, one.tooLarge);
        EXPECT_EQ(six.engine, one.engine);
        EXPECT_EQ(six.other, one.other);
        EXPECT_EQ(six.refreshed, one.refreshed);
    }

    int Pick(int n) { return static_cast<int>(m_rng() % static_cast<std::uint32_t>(n)); }

  private:
    std::string EngineTarget(int e) const {
        return "/orx?ORXCmd=" + std::string(e == 0 ? "Show" : "List") + "&s=" + m_prefix.substr(1) +
               "&e=" + std::to_string(e);
    }
    std::string ResourceUrl(int r) const { return m_resourceUrls[static_cast<std::size_t>(r)]; }

    void AddResource(int r) {
        const std::string target = m_prefix + "/r/" + std::to_string(r) + ".gif";
        m_resourceUrls.resize(static_cast<std::size_t>(r));
        m_resourceUrls.push_back(Other(target));
        // A few answers take a moment, so that the walk meets their URL again
        // while the first fetch is still on its way.
        const std::chrono::milliseconds delay{Pick(3) == 0 ? 5 : 0};
        switch (static_cast<ResourceKind>(Pick(5))) {
        case ResourceKind::kOk:
            other.Reply(target, {200, "image/gif", "gif" + std::to_string(r), {}, delay});
            break;
        case ResourceKind::kMissing:
            other.Reply(target, {404, "text/plain", "gone", {}, delay});
            break;
        case ResourceKind::kReset:
            other.Reply(target, {200, "image/gif", {}, {}, delay, true});
            break;
        case ResourceKind::kMoved: {
            // Now and then to a resource the pages name too (on the host
            // that sets no cookie), else to one no tag names, whose fate is
            // drawn like any other's.
            const std::string named = r > 0 ? ResourceUrl(Pick(r)) : std::string();
            if (named.rfind(other.Origin(), 0) == 0 && Pick(2) == 0) {
                other.Reply(target, {302, "text/html", "moved", named, delay});
                break;
            }
            const std::string end = m_prefix + "/t/" + std::to_string(Pick(r + 1)) + ".gif";
            other.Reply(target, {302, "text/html", "moved", Other(end), delay});
            const int fate = Pick(3);
            other.Reply(end, {fate == 1 ? 404 : 200, "image/gif", "end", {}, {}, fate == 2});
            break;
        }
        case ResourceKind::kCookie:
            // By another name of the same server: a host whose every answer
            // sets a cookie, so each request carries the one its walk-order
            // predecessor set.
            m_resourceUrls.back() = "http://localhost:" + std::to_string(other.Port()) + target;
            other.Reply(target, {200,
                                 "image/gif",
                                 "gif",
                                 {},
                                 delay,
                                 false,
                                 {{"Set-Cookie", "last=" + std::to_string(r) + "; Path=/"}}});
            break;
        }
    }

    /// A page of 2 to 9 tags drawn at random; resources repeat often, and
    /// sometimes right after themselves.
    std::string PageBody() {
        std::string body;
        std::string last = "<img src=\"" + ResourceUrl(0) + "\">";
        const int tags = 2 + Pick(8);
        for (int t = 0; t < tags; ++t) {
            std::string tag;
            const int target = Pick(m_pages);
            const std::string page = Other(m_prefix + "/p/" + std::to_string(target) + ".html");
            switch (Pick(12)) {
            case 0:
                tag = "<a href=\"" + page + "\">a</a>";
                break;
            case 2:
                tag = std::string(Pick(2) == 0 ? "<frame src=\"" : "<iframe src=\"") + page + "\">";
                break;
            case 1:
            case 3:
            case 4:
            case 5:
                tag = "<img src=\"" + ResourceUrl(Pick(m_resources)) +
                      (Pick(3) == 0 ? "#f\">" : "\">");
                break;
            case 6:
                tag = std::string(Pick(2) == 0 ? "<script src=\"" : "<link href=\"") +
                      ResourceUrl(Pick(m_resources)) + "\">";
                break;
            case 7:
                tag =
                    "<a href=\"" + Engine(EngineTarget(Pick(m_enginePages)).substr(5)) + "\">e</a>";
                break;
            case 8:
                tag = "<img src=\"" +
                      Engine("ORXCmd=Show&img=" + std::to_string(Pick(m_enginePages)) +
                             "&s=" + m_prefix.substr(1)) +
                      "\">";
                break;
            case 9:
                // A page as an image: whether it is fetched depends on when
                // the page's own fetch reached the cache. (Not one that is
                // redirected: where the early fetch of it ends is known only
                // once it is answered, so the walk may meet the end first.)
                tag = m_redirected[static_cast<std::size_t>(target)] ? last
                                                                     : "<img src=\"" + page + "\">";
                break;
            default:
                tag = last; // the same tag again
                break;
            }
            if (tag.rfind("<img", 0) == 0 || tag.rfind("<script", 0) == 0 ||
                tag.rfind("<link", 0) == 0) {
                last = tag;
            }
            body += tag;
        }
        return body;
    }

    /// Each request as its target and the headers the crawl decides on.
    static Lines Describe(const std::vector<RecordedRequest>& requests) {
        Lines lines;
        for (const RecordedRequest& r : requests) {
            std::string line = r.target;
            for (const char* name : {"Host", "User-Agent", "Cookie", "Authorization", "Referer",
                                     "If-Modified-Since"}) {
                if (r.Has(name)) {
                    line += std::string(" | ") + name + ": " + r.Header(name);
                }
            }
            lines.push_back(line);
        }
        return lines;
    }

    static Lines RefreshedSince(const FILETIME& since) {
        std::vector<UrlCacheEntry> entries;
        EXPECT_TRUE(ListUrlCacheEntries(entries));
        Lines lines;
        for (const UrlCacheEntry& entry : entries) {
            if (CompareFileTime(&since, &entry.lastSync) <= 0) {
                lines.emplace_back(std::string(entry.sourceUrl.begin(), entry.sourceUrl.end()) +
                                   " " + std::to_string(entry.size));
            }
        }
        return lines;
    }

    std::mt19937 m_rng;
    std::string m_prefix;
    int m_pages = 0;
    int m_resources = 0;
    int m_enginePages = 0;
    std::vector<bool> m_redirected;          // by page
    std::vector<std::string> m_resourceUrls; // by resource
};

TEST_F(ConnectionsDifferential, AFailingResourceMetAgainWhileInFlightIsAskedForAgain) {
    const std::string start = Engine("ORXCmd=Show");
    engine.Page("/orx?ORXCmd=Show", "<iframe src=\"" + Other("/page.html") + "\">");
    std::string body;
    for (const char* path : {"/gone.gif", "/reset.gif", "/moved.gif"}) {
        // The same resource twice in a row: the second reference comes while
        // the first fetch is still waiting for its answer.
        body += std::string("<img src=\"") + Other(path) + "\"><img src=\"" + Other(path) + "\">";
    }
    other.Page("/page.html", body);
    const std::chrono::milliseconds delay{50};
    other.Reply("/gone.gif", {404, "text/plain", "gone", {}, delay});
    other.Reply("/reset.gif", {200, "image/gif", {}, {}, delay, true});
    other.Reply("/moved.gif", {302, "text/html", "moved", Other("/gone.gif"), delay});
    const RunRecord one = CrawlWith(1, start, 1, TRUE);
    const RunRecord six = CrawlWith(6, start, 1, TRUE);
    ExpectSame(one, six);
    EXPECT_EQ(
        std::count_if(six.other.begin(), six.other.end(),
                      [](const std::string& line) { return line.rfind("/gone.gif", 0) == 0; }),
        4); // twice itself, twice at the end of the redirect
}

TEST_F(ConnectionsDifferential, RandomSitesMakeTheSameRequestsWithOneAndSixConnections) {
    for (std::uint32_t seed = 1; seed <= 60; ++seed) {
        SCOPED_TRACE("site seed " + std::to_string(seed));
        int depth = 0;
        BOOL outside = FALSE;
        const std::string start = BuildRandomSite(seed, depth, outside);
        const RunRecord one = CrawlWith(1, start, depth, outside);
        const RunRecord six = CrawlWith(6, start, depth, outside);
        ExpectSame(one, six);
        if (HasFailure()) {
            return; // the first site that differs says enough
        }
    }
}

} // namespace
