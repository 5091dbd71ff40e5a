// SPDX-License-Identifier: Apache-2.0
// `dravik proxy` and the cache commands as a user meets them: a
// synchronization, then the content host gone and the library offline,
// then curl through the proxy; bad requests; https through --intercept.
#include "ProxyFixture.h"
#include "RawClient.h"
#include "support/TestCertificates.h"
#include "support/TestServers.h"

#include <sqlite3.h>

#include <atomic>

namespace {

/// Every byte value, so that "the same bytes" means exactly that.
std::string AllBytes() {
    std::string bytes;
    for (int i = 0; i < 256; ++i) {
        bytes += static_cast<char>(i);
    }
    return bytes;
}

/// Sends `bytes` on a fresh connection; the status line of the answer
/// ("" when the connection closed without one).
std::string StatusLine(int port, const std::string& bytes) {
    const int fd = Connect(port);
    const std::string line = Ask(fd, bytes);
    ::close(fd);
    return line;
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class Proxy : public ProxyFixture {};

TEST_F(Proxy, ServesWhatASyncKeptWhileOfflineAndForwardsOnline) {
    TestServer engine;
    std::optional<TestServer> content(std::in_place);
    const std::string origin = content->Origin();
    engine.Page("/orx?ORXCmd=Show&s=1",
                "<img src=\"" + origin + "/pic.bin\"><img src=\"" + origin + "/big.bin\">");
    content->Page("/pic.bin", AllBytes(), "image/x-test");
    std::string big;
    for (int i = 0; i < 1200; ++i) {
        big += AllBytes(); // kept in a file of its own, too large to be held in memory
    }
    content->Page("/big.bin", big, "image/x-test");
    ASSERT_EQ(Dravik("sync '" + HostPage(engine, "ORXCmd=Show&amp;s=1") + "'").status, 0);
    content.reset();
    ASSERT_EQ(Dravik("offline on").status, 0);
    ASSERT_TRUE(StartProxy({"--direct", engine.HostKey()}));

    const Response hit = Curl(origin + "/pic.bin");
    EXPECT_EQ(hit.status, 200);
    EXPECT_EQ(hit.body, AllBytes());
    EXPECT_TRUE(Has(hit.headers, "Content-Type: image/x-test")) << hit.headers;
    EXPECT_TRUE(Has(hit.headers, "Content-Length: 256")) << hit.headers;
    EXPECT_EQ(Curl(origin + "/pic.bin", "-I").status, 200);
    const Response large = Curl(origin + "/big.bin");
    EXPECT_EQ(large.body, big);
    EXPECT_TRUE(Has(large.headers, "Content-Length: 307200")) << large.headers;
    const Response largeHead = Curl(origin + "/big.bin", "-I");
    EXPECT_EQ(largeHead.status, 200);
    EXPECT_TRUE(Has(largeHead.headers, "Content-Length: 307200")) << largeHead.headers;
    EXPECT_EQ(Curl(origin + "/pic.bin", "-d x=1").status, 405);
    const Response miss = Curl(origin + "/gone.html", "-H 'Accept: text/html'");
    EXPECT_EQ(miss.status, 504);
    EXPECT_TRUE(Has(miss.body, "has been noted")) << miss.body;
    const Response app = Curl(engine.Origin() + "/orx?ORXCmd=Show&s=1");
    EXPECT_EQ(app.status, 200) << "--direct hosts are forwarded while offline";

    EXPECT_TRUE(Has(Dravik("cache missed").out, "  1  " + origin + "/gone.html"));
    EXPECT_TRUE(Has(Curl(ProxyUrl() + "/missed?format=json").body,
                    "{\"url\": \"" + origin + "/gone.html\", \"count\": 1"));
    const std::string index = Curl(ProxyUrl() + "/?format=json").body;
    EXPECT_TRUE(Has(index, "{\"url\": \"" + origin +
                               "/pic.bin\", \"size\": 256, \"contentType\": "
                               "\"image/x-test\""))
        << index;
    EXPECT_TRUE(Has(index, "\"uses\": 2")) << index; // the GET and the HEAD
    const Response pac = Curl(ProxyUrl() + "/proxy.pac");
    EXPECT_TRUE(Has(pac.headers, "Content-Type: application/x-ns-proxy-autoconfig"));
    EXPECT_TRUE(Has(pac.body, "return \"PROXY 127.0.0.1:" + std::to_string(m_port) + "\";"));

    ASSERT_EQ(Dravik("offline off").status, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(600)); // the proxy looks twice a second
    TestServer fresh;
    fresh.Page("/new.txt", "fresh", "text/plain");
    const Response forwarded = Curl(fresh.Origin() + "/new.txt", "-H 'Connection: X-Secret' "
                                                                 "-H 'X-Secret: 1'");
    EXPECT_EQ(forwarded.status, 200);
    EXPECT_TRUE(Has(forwarded.headers, "X-Cache: MISS"));
    ASSERT_EQ(fresh.Requests().size(), 1u);
    const RecordedRequest sent = fresh.Requests().front();
    EXPECT_EQ(sent.Header("Host"), fresh.HostKey());
    EXPECT_TRUE(Has(sent.Header("Via"), "dravik-"));
    EXPECT_FALSE(sent.Has("Proxy-Connection") || sent.Has("X-Secret"));
    // Online, but the content host is gone: the kept copy, said to be stale.
    const Response stale = Curl(origin + "/pic.bin");
    EXPECT_EQ(stale.status, 200);
    EXPECT_EQ(stale.body, AllBytes());
    EXPECT_TRUE(Has(stale.headers, "Warning: 110 dravik \"Response is Stale\"")) << stale.headers;
    // Stopping commits what waits to be written, so other processes see it.
    EXPECT_EQ(StopProxy(), 0);
    EXPECT_EQ(Dravik("cache show " + fresh.Origin() + "/new.txt").out, "fresh");
}

TEST_F(Proxy, CacheCommandsShowRemoveClearAndFetchTheMissed) {
    TestServer site;
    site.Page("/a.txt", "A", "text/plain");
    site.Page("/b.txt", "B", "text/plain");
    const std::string a = site.Origin() + "/a.txt";
    ASSERT_TRUE(StartProxy({"--no-store"}));
    EXPECT_EQ(Curl(a).body, "A");
    EXPECT_EQ(Dravik("cache show " + a).status, 1) << "--no-store keeps nothing";
    StopProxy();

    ASSERT_EQ(Dravik("fetch " + a).status, 0);
    ASSERT_EQ(Dravik("fetch " + site.Origin() + "/b.txt").status, 0);
    EXPECT_EQ(Dravik("cache show " + a).out, "A");
    const Outcome removed = Dravik("cache remove " + a + " " + site.Origin() + "/none");
    EXPECT_EQ(removed.status, 1);
    EXPECT_TRUE(Has(removed.err, "no entry for " + site.Origin() + "/none")) << removed.err;
    EXPECT_EQ(Dravik("cache show " + a).status, 1);
    EXPECT_EQ(Dravik("cache clear").out, "removed 1 entry\n");
    EXPECT_TRUE(Has(Dravik("cache list").out, "0 entries"));

    const std::string b = site.Origin() + "/b.txt";
    ASSERT_TRUE(StartProxy({"--offline"}));
    const std::string opened = "-H 'Accept: text/html' "; // as a browser opens a page
    EXPECT_EQ(Curl(a, opened).status, 504);
    EXPECT_EQ(Curl(a, opened + "-I").status, 504);
    EXPECT_EQ(Curl(b, opened).status, 504);
    EXPECT_TRUE(Has(Dravik("cache missed").out, "  2  " + a));
    StopProxy();
    ASSERT_TRUE(StartProxy({}));
    EXPECT_EQ(Curl(b).body, "B");
    EXPECT_FALSE(Has(Dravik("cache missed").out, b)) << "kept by the proxy, no longer missing";
    ASSERT_EQ(Dravik("offline on").status, 0);
    EXPECT_EQ(Dravik("fetch --missed").status, 3);
    ASSERT_EQ(Dravik("offline off").status, 0);
    const Outcome fetched = Dravik("fetch --missed");
    EXPECT_EQ(fetched.status, 0) << fetched.err;
    EXPECT_EQ(fetched.out, "200 " + a + "\n1 address tried\n");
    EXPECT_EQ(Dravik("cache show " + a).out, "A") << "fetched into the cache";
    EXPECT_TRUE(Has(Dravik("cache missed").out, "0 addresses"));
    EXPECT_EQ(Dravik("fetch " + a + " --missed").status, 2);
}

TEST_F(Proxy, BadRequestsGetClearAnswersAndChangeNothing) {
    TestServer site;
    TestServer engine;
    site.Page("/a.txt", "A", "text/plain");
    const std::string a = site.Origin() + "/a.txt";
    ASSERT_EQ(Dravik("fetch " + a).status, 0);
    ASSERT_TRUE(StartProxy({"--offline", "--direct", engine.HostKey()}));
    const std::string before = Dravik("cache list --json").out;
    const std::string port = std::to_string(m_port);
    std::string manyHeaders;
    for (int i = 0; i < 10000; ++i) {
        manyHeaders += "X-" + std::to_string(i) + ": y\r\n";
    }
    const struct {
        std::string request;
        std::string status;
    } cases[] = {
        {"GET " + site.Origin() + "/" + std::string(100000, 'a') + " HTTP/1.1\r\n\r\n", "414"},
        {"GET " + a + " HTTP/1.1\r\n" + manyHeaders + "\r\n", "431"},
        {"GET ftp://127.0.0.1/a.txt HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", "501"},
        {"GET " + a + " HTTP/1.1\r\nHost: other.example\r\n\r\n", "400"},
        {"GET " + a + " HTTP/1.1\r\nHost: " + site.HostKey() + "\r\n\r\n", "200"},
        {"GET http://user@" + site.HostKey() + "/a.txt HTTP/1.1\r\n\r\n", "400"},
        {"NOT HTTP\r\n\r\n", "400"},
        {"CONNECT " + engine.HostKey() + " HTTP/1.1\r\n\r\n", "200"}, // a --direct host
        {"CONNECT 127.0.0.1:1 HTTP/1.1\r\n\r\n", "504"},              // offline, no --intercept
        // Another site's name made to resolve to this machine reads nothing.
        {"GET /?format=json HTTP/1.1\r\nHost: attacker.example:" + port + "\r\n\r\n", "403"},
        {"GET /?format=json HTTP/1.1\r\nHost: localhost:" + port + "\r\n\r\n", "200"},
        {"CONNECT 127.0.0.1:" + port + " HTTP/1.1\r\n\r\n", "508"},
        {"GET /?format=json HTTP/1.1\r\n\r\n", "400"},
        {"GET /?format=json HTTP/1.1\r\nHost: localhost:" + port +
             "\r\nHost: attacker.example:" + port + "\r\n\r\n",
         "403"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StatusLine(m_port, c.request).substr(9, 3), c.status) << c.request.substr(0, 60);
    }
    // A browser that goes away in the middle of a request body.
    const int cut = Connect(m_port);
    const std::string partial = "POST " + site.Origin() +
                                "/post HTTP/1.1\r\nContent-Length: "
                                "1000\r\n\r\nonly a part";
    ::send(cut, partial.data(), partial.size(), MSG_NOSIGNAL);
    ::close(cut);

    std::atomic<int> served{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < 200; ++i) {
        clients.emplace_back([&] {
            const std::string line = StatusLine(m_port, "GET " + a + " HTTP/1.1\r\n\r\n");
            served += line == "HTTP/1.1 200 OK" ? 1 : 0;
        });
    }
    for (std::thread& client : clients) {
        client.join();
    }
    EXPECT_EQ(served, 200);
    EXPECT_EQ(Curl(a).body, "A");
    EXPECT_EQ(Dravik("cache list --json").out, before);
    EXPECT_TRUE(Has(Dravik("cache missed").out, "0 addresses"));
}

TEST_F(Proxy, FormsAreForwardedOnlineAndADownloadCutOffIsNotKept) {
    testsupport::LocalServer site;
    site.Routes().Get("/big", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(std::size_t{32} << 20, 'x'), "application/octet-stream");
    });
    site.Routes().Get("/stream", [](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("text/plain",
                                         [](std::size_t offset, httplib::DataSink& sink) {
                                             if (offset == 0) {
                                                 return sink.write("first", 5);
                                             }
                                             std::this_thread::sleep_for(std::chrono::seconds(2));
                                             sink.write("second", 6);
                                             sink.done();
                                             return true;
                                         });
    });
    site.Routes().Post("/form", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(req.get_header_value("Content-Type") + " " + req.body, "text/plain");
    });
    site.Start();
    const std::string origin = "http://127.0.0.1:" + std::to_string(site.Port());
    const std::string big = origin + "/big";
    ASSERT_TRUE(StartProxy({}));
    const Response posted = Curl(origin + "/form", "-d a=1 -H 'Expect: 100-continue'");
    EXPECT_EQ(posted.body, "application/x-www-form-urlencoded a=1");
    EXPECT_EQ(Dravik("cache show " + origin + "/form").status, 1) << "only GETs are kept";
    const int fd = Connect(m_port, 4096);
    const std::string request = "GET " + big + " HTTP/1.1\r\n\r\n";
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    char piece[1024];
    ASSERT_GT(::recv(fd, piece, sizeof piece, 0), 0);
    ::close(fd);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(Dravik("cache show " + big).status, 1);
    EXPECT_EQ(Curl(ProxyUrl() + "/").status, 200) << "still serving";

    // A streamed body reaches the client as it comes, not a piece later.
    const int streamed = Connect(m_port);
    const std::string ask = "GET " + origin + "/stream HTTP/1.1\r\n\r\n";
    const auto asked = std::chrono::steady_clock::now();
    ::send(streamed, ask.data(), ask.size(), MSG_NOSIGNAL);
    std::string got;
    for (ssize_t n = 1; n > 0 && got.find("first") == std::string::npos;) {
        n = ::recv(streamed, piece, sizeof piece, 0);
        got.append(piece, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
    }
    EXPECT_NE(got.find("first"), std::string::npos) << got;
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(1500))
        << "the first piece waited for the second";
    ::close(streamed);
}

TEST_F(Proxy, InterceptAnswersHttpsFromTheCacheWithALocalAuthority) {
    using namespace testsupport;
    const Identity self = MakeIdentity({});
    LocalServer site(self);
    site.Routes().Get("/s.txt", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("secure", "text/plain");
    });
    site.Start();
    const std::string url = "https://127.0.0.1:" + std::to_string(site.Port()) + "/s.txt";
    ASSERT_EQ(Dravik("fetch " + url).status, 0);
    const Outcome ca = Dravik("proxy --ca");
    ASSERT_EQ(ca.status, 0) << ca.err;
    const std::string certificate = ca.out.substr(0, ca.out.find('\n'));
    EXPECT_EQ(certificate, (m_home / "data/dravik/ca/dravik-ca.pem").string());
    const auto mode = [](const std::filesystem::path& path) {
        return std::filesystem::status(path).permissions() & std::filesystem::perms::all;
    };
    EXPECT_EQ(mode(m_home / "data/dravik/ca/dravik-ca.key"),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(mode(m_home / "data/dravik/ca"), std::filesystem::perms::owner_all);

    // The test server's certificate is its own: the fetch accepted it
    // unverified, and the browser must not see the copy as authenticated.
    ASSERT_TRUE(StartProxy({"--intercept", "--offline"}));
    const Response unverified = Curl(url, "--cacert '" + certificate + "'");
    EXPECT_EQ(unverified.status, 502);
    EXPECT_TRUE(Has(unverified.body, "--trust-unverified 127.0.0.1")) << unverified.body;
    StopProxy();
    ASSERT_TRUE(StartProxy({"--intercept", "--offline", "--trust-unverified", "127.0.0.1"}));
    const Response kept = Curl(url, "--cacert '" + certificate + "'");
    EXPECT_EQ(kept.status, 200);
    EXPECT_EQ(kept.body, "secure");
    EXPECT_EQ(Curl(url + "?other", "--cacert '" + certificate + "'").status, 504);
    StopProxy();

    ASSERT_TRUE(StartProxy({"--intercept"}));
    const Response refused = Curl(url, "--cacert '" + certificate + "'");
    EXPECT_EQ(refused.status, 502) << "the test server's own certificate is not trusted";
    EXPECT_TRUE(Has(refused.body, "unknown authority")) << refused.body;
}

/// The head the cache stores for `url`, read from its index.
std::string StoredHead(const std::filesystem::path& home, const std::string& url) {
    std::string head;
    for (const auto& file : std::filesystem::recursive_directory_iterator(home)) {
        if (file.path().filename() != "index.sqlite") {
            continue;
        }
        sqlite3* db = nullptr;
        sqlite3_open_v2(file.path().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* row = nullptr;
        sqlite3_prepare_v2(db, "SELECT headers FROM entries WHERE url = ?", -1, &row, nullptr);
        sqlite3_bind_text(row, 1, url.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(row) == SQLITE_ROW) {
            head = reinterpret_cast<const char*>(sqlite3_column_text(row, 0));
        }
        sqlite3_finalize(row);
        sqlite3_close(db);
    }
    return head;
}

TEST_F(Proxy, ForwardedResponsesAreKeptOnlyAsAnHttpCacheMayKeepThem) {
    testsupport::LocalServer site;
    const auto reply = [&](const std::string& path, const std::string& field,
                           const std::string& value) {
        site.Routes().Get(path, [field, value](const httplib::Request&, httplib::Response& res) {
            if (!field.empty()) {
                res.set_header(field, value);
            }
            res.set_content("body of a response", "text/plain");
        });
    };
    reply("/plain", "", "");
    reply("/no-store", "Cache-Control", "max-age=60, no-store");
    reply("/private", "Cache-Control", "private");
    reply("/cookie", "Set-Cookie", "sid=secret-session; HttpOnly");
    reply("/shared", "Cache-Control", "private");
    reply("/auth", "", "");
    reply("/auth-public", "Cache-Control", "public");
    site.Start();
    const std::string origin = "http://127.0.0.1:" + std::to_string(site.Port());
    const auto kept = [&](const std::string& path) {
        return Dravik("cache show " + origin + path).status == 0;
    };
    ASSERT_TRUE(StartProxy({}));
    for (const char* path : {"/plain", "/no-store", "/private", "/cookie"}) {
        EXPECT_EQ(Curl(origin + path).status, 200) << path;
    }
    EXPECT_EQ(Curl(origin + "/plain?again", "-H 'Cache-Control: no-store'").status, 200);
    StopProxy(); // commits what waits to be written
    EXPECT_TRUE(kept("/plain"));
    EXPECT_FALSE(kept("/plain?again")) << "the browser asked for no-store";
    EXPECT_FALSE(kept("/no-store"));
    EXPECT_TRUE(kept("/private")) << "a private cache of one user";
    ASSERT_TRUE(kept("/cookie"));
    const std::string head = StoredHead(m_home, origin + "/cookie");
    EXPECT_TRUE(Has(head, "Content-Type: text/plain")) << head;
    EXPECT_FALSE(Has(head, "secret-session")) << head;
    EXPECT_TRUE(Has(head, "X-Dravik-Cache: this-machine")) << "answers only this machine's user";

    // Serving other machines too, the cache is shared.
    ASSERT_TRUE(StartProxy({"--allow", "192.0.2.0/24"}));
    const std::string credentials = "-H 'Authorization: Basic dTpw'";
    EXPECT_EQ(Curl(origin + "/shared").status, 200);
    EXPECT_EQ(Curl(origin + "/auth", credentials).status, 200);
    EXPECT_EQ(Curl(origin + "/auth-public", credentials).status, 200);
    EXPECT_EQ(Curl(origin + "/plain?shared").status, 200);
    // A tunnel goes to the https port, or to one the user names.
    const std::string connect = "CONNECT " + origin.substr(7) + " HTTP/1.1\r\n\r\n";
    EXPECT_EQ(StatusLine(m_port, connect).substr(9, 3), "403");
    StopProxy();
    EXPECT_FALSE(kept("/shared"));
    EXPECT_FALSE(kept("/auth"));
    EXPECT_TRUE(kept("/auth-public"));
    EXPECT_TRUE(Has(StoredHead(m_home, origin + "/auth-public"), "X-Dravik-Cache: this-machine"))
        << "asked for with credentials: never answers another client";
    EXPECT_FALSE(Has(StoredHead(m_home, origin + "/plain?shared"), "X-Dravik-Cache"));
    ASSERT_TRUE(StartProxy({"--connect-port", std::to_string(site.Port())}));
    EXPECT_EQ(StatusLine(m_port, connect).substr(9, 3), "200");
}

} // namespace

namespace {

// An upload the origin marks as a download to be sandboxed stays so when
// it is answered from the cache: a kept copy is the same document of that
// origin, with the same limits.
TEST_F(Proxy, KeptCopiesCarryTheOriginsProtections) {
    testsupport::LocalServer site;
    const std::vector<std::pair<std::string, std::string>> protections = {
        {"Content-Disposition", "attachment; filename=\"upload.html\""},
        {"Content-Security-Policy", "sandbox"},
        {"Content-Security-Policy", "default-src 'self'"},
        {"X-Frame-Options", "DENY"},
        {"X-Content-Type-Options", "nosniff"},
        {"Cross-Origin-Opener-Policy", "same-origin"},
        {"Cross-Origin-Resource-Policy", "same-site"},
        {"Referrer-Policy", "no-referrer"},
        {"Permissions-Policy", "camera=()"},
    };
    site.Routes().Get("/upload", [&](const httplib::Request&, httplib::Response& res) {
        for (const auto& [name, value] : protections) {
            res.set_header(name, value);
        }
        res.set_content("<script>document.title = document.domain</script>", "text/html");
    });
    site.Start();
    const std::string url = "http://127.0.0.1:" + std::to_string(site.Port()) + "/upload";
    ASSERT_TRUE(StartProxy({}));
    ASSERT_EQ(Curl(url).status, 200);
    StopProxy();
    ASSERT_EQ(Dravik("offline on").status, 0);
    ASSERT_TRUE(StartProxy({}));
    const Response offline = Curl(url);
    EXPECT_EQ(offline.status, 200);
    EXPECT_TRUE(Has(offline.headers, "X-Cache: HIT")) << offline.headers;
    for (const auto& [name, value] : protections) {
        EXPECT_TRUE(Has(offline.headers, name + ": " + value)) << offline.headers;
    }
}

} // namespace
