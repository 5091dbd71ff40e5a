// SPDX-License-Identifier: Apache-2.0
// Synchronizations of random sites against nginx over https with a
// certificate of an authority the machine does not know: the same requests,
// with the same cookies, and the same cache contents with one connection,
// with six and with six over HTTP/2; over HTTP/2 they travel as streams of
// one connection, and one connection serves a whole run, not one handshake
// per request.
#include "support/ProgramFixture.h"
#include "support/TestServers.h"
#include "support/TlsSite.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <set>

namespace {

struct Request {
    std::string connection;
    std::string protocol;
    std::string reused;
    std::string host;
    std::string target;
    std::string cookie;
};

Request Parse(const std::string& line) {
    std::istringstream in(line);
    Request request;
    in >> request.connection >> request.protocol >> request.reused >> request.host >>
        request.target;
    std::getline(in >> std::ws, request.cookie);
    return request;
}

class Http2Sync : public ProgramFixture {
  protected:
    /// The requests a sync with `options` made to the https site, from a
    /// cache emptied first.
    std::vector<Request> Sync(const testsupport::TlsSite& site, const std::string& page,
                              const std::string& options) {
        EXPECT_EQ(Dravik("cache clear").status, 0);
        const std::size_t before = site.Log().size();
        const Outcome run = Dravik("sync -q --outside-links --check Tree --links Tree " + options +
                                   " '" + page + "'");
        EXPECT_EQ(run.status, 0) << options << ": " << run.err;
        const std::vector<std::string> log = site.Log();
        std::vector<Request> requests;
        for (std::size_t i = before; i < log.size(); ++i) {
            Request request = Parse(log[i]);
            if (request.reused != "-") { // the engine's page came over plain http
                requests.push_back(request);
            }
        }
        return requests;
    }

    /// A random site of `seed` under /sSEED: pages that link and frame
    /// each other, some slow (under /slow, which nginx sends at 256 KiB/s),
    /// some large (one of 9 MiB now and then); images. Some pages and
    /// images come by the name whose answers set cookies, some images
    /// through a redirect to an image the pages name too. Returns the
    /// engine's start page.
    static std::string RandomSite(std::uint32_t seed, const std::string& origin, int port,
                                  const std::filesystem::path& www) {
        std::mt19937 rng(seed);
        const auto pick = [&rng](int n) { return static_cast<int>(rng() % n); };
        const std::string prefix = "/s" + std::to_string(seed);
        const std::string cookies = "https://localhost:" + std::to_string(port);
        const int pages = 4 + pick(8);
        const auto page = [&](int p) {
            return (p % 3 == 2 ? "/slow" : "") + prefix + "/p/" + std::to_string(p) + ".html";
        };
        const auto image = [&](int i) { return prefix + "/i/" + std::to_string(i) + ".gif"; };
        const auto write = [&www](const std::string& path, const std::string& body) {
            std::filesystem::create_directories((www / path.substr(1)).parent_path());
            std::ofstream(www / path.substr(1)) << body;
        };
        const int huge = pick(3) == 0 ? pick(pages) : -1;
        for (int p = 0; p < pages; ++p) {
            std::string body = "<html><body>";
            for (int t = 3 + pick(6); t > 0; --t) {
                const std::string img = image(pick(10));
                switch (pick(6)) {
                case 0:
                    body += "<a href=\"" + (pick(3) == 0 ? cookies : origin) + page(pick(pages)) +
                            "\">a</a>";
                    break;
                case 1:
                    body += "<iframe src=\"" + (pick(3) == 0 ? cookies : origin) +
                            page(pick(pages)) + "\"></iframe>";
                    break;
                case 2:
                    body += "<img src=\"" + cookies + img + "\">";
                    break;
                case 3:
                    body += "<img src=\"/r" + img + "\"><img src=\"" + img + "\">";
                    break;
                default:
                    body += "<img src=\"" + img + "\">";
                    break;
                }
            }
            // Slow pages take a tenth of a second or so; large ones are fast.
            const bool slow = p % 3 == 2;
            std::size_t padding = pick(4) == 0 ? 70000 + pick(200000) : 0;
            if (slow) {
                padding = 20000 + pick(40000);
            } else if (p == huge) {
                padding = std::size_t{9} << 20;
            }
            write(page(p), body + "<!--" + std::string(padding, 'x') + "--></body></html>");
        }
        for (int i = 0; i < 10; ++i) {
            write(image(i), std::string(100 + pick(20000), 'g'));
        }
        std::string start = "<html><body>";
        for (int p = 0; p < std::min(pages, 3); ++p) {
            start += "<a href=\"" + origin + page(p) + "\">p</a>";
        }
        return start + "</body></html>";
    }

    /// A host page whose one subscription starts at the engine on
    /// `enginePort` and follows links three deep.
    std::string HostPage(int enginePort) {
        return WritePage(
            Param("Info.ORXPath", "http://127.0.0.1:" + std::to_string(enginePort) + "/orx") +
            Param("Info.UserName", "t") + Param("Info.ORXCommands", "Show") +
            Param("Msg.SynchComplete", "done") + Param("S1.Name", "Tree") +
            Param("S1.URL1.URL", "ORXCmd=Show") + Param("S1.URL1.Depth.Default", "3") +
            Param("S1.URL1.Depth.IncludeLinks", "3"));
    }

    /// What the cache holds: each entry's URL and size.
    std::multiset<std::string> CacheContents() {
        const std::string json = Dravik("cache list --json").out;
        static const std::regex entry("\"url\": \"([^\"]*)\"[^}]*\"size\": ([0-9]+)");
        std::multiset<std::string> entries;
        for (auto it = std::sregex_iterator(json.begin(), json.end(), entry);
             it != std::sregex_iterator(); ++it) {
            entries.insert((*it)[1].str() + " " + (*it)[2].str());
        }
        return entries;
    }

    /// Each request as its host, target and cookies.
    static std::multiset<std::string> Targets(const std::vector<Request>& requests) {
        std::multiset<std::string> targets;
        for (const Request& request : requests) {
            targets.insert(request.host + " " + request.target + " " + request.cookie);
        }
        return targets;
    }
    static std::set<std::string> Connections(const std::vector<Request>& requests,
                                             const std::string& host = {}) {
        std::set<std::string> connections;
        for (const Request& request : requests) {
            if (host.empty() || request.host == host) {
                connections.insert(request.connection);
            }
        }
        return connections;
    }
};

TEST_F(Http2Sync, RandomSitesGiveTheSameRequestsCookiesAndCacheWithOneSixAndHttp2) {
    const int tlsPort = testsupport::ClosedPort();
    const int enginePort = testsupport::ClosedPort();
    const std::string origin = "https://127.0.0.1:" + std::to_string(tlsPort);
    const testsupport::TlsSite site(m_home / "site", {}, "", tlsPort, enginePort);
    const std::string page = HostPage(enginePort);
    for (std::uint32_t seed = 1; seed <= 3; ++seed) {
        SCOPED_TRACE("site seed " + std::to_string(seed));
        std::ofstream(m_home / "site" / "engine" / "orx")
            << RandomSite(seed, origin, tlsPort, m_home / "site" / "www");
        const std::vector<Request> one = Sync(site, page, "--connections 1");
        const std::multiset<std::string> kept = CacheContents();
        EXPECT_GT(one.size(), 4U) << "the site is walked";
        // The unknown authority is forgiven on the connection it was seen
        // on: one handshake serves the run, not a refused one per request.
        EXPECT_EQ(Connections(one, "127.0.0.1").size(), 1U);
        const std::vector<Request> six = Sync(site, page, "--connections 6");
        EXPECT_EQ(Targets(six), Targets(one));
        EXPECT_EQ(CacheContents(), kept);
        EXPECT_LE(Connections(six, "127.0.0.1").size(), 6U);
        const std::vector<Request> streams = Sync(site, page, "--connections 6 --http2");
        EXPECT_EQ(Targets(streams), Targets(one));
        EXPECT_EQ(CacheContents(), kept);
        EXPECT_EQ(Connections(streams, "127.0.0.1").size(), 1U) << "streams of one connection";
        for (const Request& request : one) {
            EXPECT_EQ(request.protocol, "HTTP/1.0") << request.target;
        }
        for (const Request& request : streams) {
            EXPECT_EQ(request.protocol, "HTTP/2.0") << request.target;
        }
    }
}

} // namespace
