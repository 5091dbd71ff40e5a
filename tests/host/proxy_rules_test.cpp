// SPDX-License-Identifier: Apache-2.0
// The proxy's rules on their own: which request goes where, who may connect,
// what a forwarded head keeps, how its pages escape what they show, and the
// certificates the local authority issues.
#include "host/proxy/CachePages.h"
#include "host/proxy/CopyView.h"
#include "host/proxy/FramePolicy.h"
#include "host/proxy/HeaderFields.h"
#include "host/proxy/LocalAuthority.h"
#include "host/proxy/PageText.h"
#include "host/proxy/Routing.h"

#include <gtest/gtest.h>

#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <filesystem>
#include <fstream>

using namespace proxy;

namespace {

TEST(ProxyRules, EachRequestGoesWhereItShould) {
    const std::vector<DirectHost> direct = {*ParseDirectHost("engine.local"),
                                            *ParseDirectHost("127.0.0.1:9000")};
    const Authority tunnel{"secure.example", 443};
    struct Case {
        std::string method, target;
        std::optional<std::string> host;
        bool offline = false, intercept = false, inTunnel = false;
        Action action;
        unsigned status = 0;
        std::string url = "";
    };
    const Case cases[] = {
        {"GET", "/", "127.0.0.1:8080", false, false, false, Action::OwnPage},
        {"GET", "/", {}, false, false, false, Action::Refuse, 400},
        {"GET", "http://127.0.0.1:8080/missed", {}, false, false, false, Action::OwnPage},
        {"GET", "http://LOCALHOST:8080/", {}, false, false, false, Action::OwnPage},
        {"GET", "http://a.example/x#f", "a.example:80", false, false, false, Action::Forward, 0,
         "http://a.example/x"},
        {"GET",
         "http://a.example:81/",
         {},
         true,
         false,
         false,
         Action::FromCache,
         0,
         "http://a.example:81/"},
        {"HEAD",
         "HTTP://A.example?q",
         {},
         true,
         false,
         false,
         Action::FromCache,
         0,
         "http://A.example/?q"},
        {"POST", "http://a.example/", {}, true, false, false, Action::Refuse, 405},
        {"POST", "http://a.example/", {}, false, false, false, Action::Forward},
        {"POST", "http://engine.local:5/f", {}, true, false, false, Action::Direct},
        {"GET", "http://127.0.0.1:9000/", {}, true, false, false, Action::Direct},
        {"GET",
         "http://127.0.0.1:9001/",
         {},
         true,
         false,
         false,
         Action::FromCache,
         0,
         "http://127.0.0.1:9001/"},
        {"GET", "http://a.example/", "b.example", false, false, false, Action::Refuse, 400},
        {"GET", "ftp://a.example/", {}, false, false, false, Action::Refuse, 501},
        {"GET", "http://u@a.example/", {}, false, false, false, Action::Refuse, 400},
        {"GET", "http://a.example:0/", {}, false, false, false, Action::Refuse, 400},
        {"GET", "http://a.example:99999/", {}, false, false, false, Action::Refuse, 400},
        {"GET", "http:///x", {}, false, false, false, Action::Refuse, 400},
        {"CONNECT", "secure.example:443", {}, false, false, false, Action::Tunnel},
        {"CONNECT", "secure.example:443", {}, true, false, false, Action::Refuse, 504},
        {"CONNECT", "secure.example:443", {}, true, true, false, Action::Intercept},
        {"CONNECT", "engine.local:443", {}, true, true, false, Action::Tunnel},
        {"CONNECT", "no port", {}, false, false, false, Action::Refuse, 400},
        {"GET",
         "/img.gif",
         {},
         true,
         true,
         true,
         Action::FromCache,
         0,
         "https://secure.example/img.gif"},
        {"GET", "https://other.example/", {}, true, true, true, Action::Refuse, 400},
        {"CONNECT", "secure.example:443", {}, true, true, true, Action::Refuse, 400},
    };
    for (const Case& c : cases) {
        Policy policy;
        policy.direct = &direct;
        policy.self = {"127.0.0.1", 8080};
        policy.offline = c.offline;
        policy.intercept = c.intercept;
        RequestLine line{c.method, c.target, c.host, "", c.inTunnel ? &tunnel : nullptr};
        const Route route = RouteRequest(line, policy);
        EXPECT_EQ(route.action, c.action) << c.method << " " << c.target;
        EXPECT_EQ(route.status, c.status) << c.method << " " << c.target;
        if (!c.url.empty()) {
            EXPECT_EQ(CacheUrl(route.target), c.url) << c.target;
        }
    }
    Policy looped;
    looped.direct = &direct;
    looped.viaToken = "dravik-1234";
    const RequestLine again{"GET", "http://a.example/", {}, "1.1 dravik-1234", nullptr};
    EXPECT_EQ(RouteRequest(again, looped).status, 508u);
    // http://0.0.0.0:8080/ forwarded by the library comes back in origin
    // form, naming an address literal: still a loop, not an own page.
    looped.self = {"127.0.0.1", 8080};
    const RequestLine back{"GET", "/?format=json", "0.0.0.0:8080", "1.1 dravik-1234", nullptr};
    EXPECT_EQ(RouteRequest(back, looped).status, 508u);

    // What keeps the proxy from being turned against its user: its pages
    // only under its own names, no tunnel into itself or to other ports, and
    // this machine's own services only for clients on this machine.
    const std::vector<std::uint16_t> extraPorts = {8443};
    const struct {
        std::string method, target;
        std::optional<std::string> host;
        bool clientLoopback;
        unsigned status; // 0: not refused
    } guarded[] = {
        {"GET", "/", "attacker.example:8080", true, 403},
        {"GET", "/?format=json", "localhost:8080", true, 0},
        {"GET", "/", "127.0.0.1:8080", true, 0},
        {"GET", "/", "[::1]:8080", true, 0},
        {"GET", "/", "", true, 403}, // what two Host lines route as
        {"GET", "/", "localhost.:8080", true, 403},
        {"GET", "/", "127.0.0.1.attacker.example:8080", true, 403},
        {"GET", "/", "127.0.0.1:9999", true, 403},
        {"CONNECT", "127.0.0.1:8080", {}, true, 508},
        {"CONNECT", "localhost:8080", {}, true, 508},
        {"CONNECT", "a.example:25", {}, true, 403},
        {"CONNECT", "a.example:8443", {}, true, 0},
        {"GET", "http://127.0.0.1:5432/", {}, false, 403},
        {"GET", "http://LOCALHOST.:80/", {}, false, 403},
        {"GET", "http://[fe80::1]/", {}, false, 403},
        {"GET", "http://169.254.169.254/", {}, false, 403},
        {"GET", "http://0.0.0.0:22/", {}, false, 403},
        {"CONNECT", "127.0.0.1:443", {}, false, 403},
        {"GET", "http://127.0.0.1:5432/", {}, true, 0},
        {"GET", "http://a.example/", {}, false, 0},
        // Nor this user's index, misses and kept copies: only the
        // auto-configuration file answers other machines.
        {"GET", "/", "127.0.0.1:8080", false, 403},
        {"GET", "/missed?format=json", "127.0.0.1:8080", false, 403},
        {"GET", "http://127.0.0.1:8080/copy?url=x", {}, false, 403},
        {"GET", "/proxy.pac", "127.0.0.1:8080", false, 0},
    };
    // Listening on every address, the proxy is also each of the machine's
    // own addresses: no tunnel leads back into it through one of them.
    const std::vector<IpBytes> own = {*ParseIp("127.0.0.1"), *ParseIp("192.0.2.10")};
    for (const bool anyAddress : {false, true}) {
        for (const auto& c : guarded) {
            Policy policy;
            policy.direct = &direct;
            policy.self = {anyAddress ? "0.0.0.0" : "127.0.0.1", 8080};
            policy.connectPorts = &extraPorts;
            policy.ownAddresses = &own;
            RequestLine line{c.method, c.target, c.host, "", nullptr, c.clientLoopback};
            EXPECT_EQ(RouteRequest(line, policy).status, c.status)
                << c.method << " " << c.target << " " << c.host.value_or("");
        }
        Policy policy;
        policy.direct = &direct;
        policy.self = {anyAddress ? "0.0.0.0" : "127.0.0.1", 8080};
        policy.ownAddresses = &own;
        const std::vector<std::uint16_t> proxyPort = {8080};
        policy.connectPorts = &proxyPort;
        const RequestLine connect{"CONNECT", "192.0.2.10:8080", {}, "", nullptr, false};
        EXPECT_EQ(RouteRequest(connect, policy).status, anyAddress ? 508u : 0u);
        // Offline, other machines get no kept copy of this machine's sites.
        policy.offline = true;
        const RequestLine kept{"GET", "http://127.0.0.1:9001/", {}, "", nullptr, false};
        EXPECT_EQ(RouteRequest(kept, policy).status, 403u);
    }
}

TEST(ProxyRules, TheCopyViewPointsEveryReferenceAtAKeptCopy) {
    const std::string page = "http://a.example/dir/page.html";
    const std::string key = "run-key";
    // Each view's address carries the capability for its own entry alone.
    const auto view = [&key](const std::string& url) {
        const std::string path = CopyViewPath(key, url);
        EXPECT_EQ(path, "/copy?key=" + CopyViewToken(key, url) + "&url=" + PercentEncode(url));
        return path;
    };
    const struct {
        std::string html, expected;
    } cases[] = {
        {"<img src=x.gif>", "<img src=\"" + HtmlEscape(view("http://a.example/dir/x.gif")) + "\">"},
        {"<LINK rel=stylesheet HREF='/s.css'/>",
         "<LINK rel=stylesheet HREF=\"" + HtmlEscape(view("http://a.example/s.css")) + "\" />"},
        {"<a href=\"../b.html?x=1&amp;y=2#top\">b</a>",
         "<a href=\"" + HtmlEscape(view("http://a.example/b.html?x=1&y=2")) + "\">b</a>"},
        {"<base href=\"http://b.example/\"><img src=c.gif>",
         "<img src=\"" + HtmlEscape(view("http://b.example/c.gif")) + "\">"},
        {"<p class=x>text & more</p><!-- <img src=y.gif> -->",
         "<p class=x>text & more</p><!-- <img src=y.gif> -->"},
        {"<a href=\"#here\">x</a><a href=mailto:me@a.example>m</a>",
         "<a href=\"#here\">x</a><a href=mailto:me@a.example>m</a>"},
        {"<body background=bg.png>\xe9",
         "<body background=\"" + HtmlEscape(view("http://a.example/dir/bg.png")) + "\">\xe9"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CopyViewHtml(c.html, page, key), c.expected) << c.html;
    }
    EXPECT_EQ(CopyViewCss("a{background:url( 'i.png' )} b{src:url(data:x)} @import url(/s.css);",
                          "http://a.example/d/s.css", key),
              "a{background:url(\"" + view("http://a.example/d/i.png") +
                  "\")} b{src:url(data:x)} @import url(\"" + view("http://a.example/s.css") +
                  "\");");
    const std::string token = CopyViewToken(key, page);
    EXPECT_EQ(token.size(), 32U);
    EXPECT_TRUE(CopyViewTokenMatches(token, key, page));
    EXPECT_FALSE(CopyViewTokenMatches(token, key, "http://a.example/dir/other.html"));
    EXPECT_FALSE(CopyViewTokenMatches(token, "another run", page));
    EXPECT_FALSE(CopyViewTokenMatches(key, key, page));
}

TEST(ProxyRules, APagesPolicyDecidesWhetherThePanelsFrameMayShow) {
    const std::string proxy = "http://127.0.0.1:8731";
    const std::string page = "https://app.example";
    const struct {
        std::vector<std::string_view> policies;
        bool allowed;
    } cases[] = {
        {{}, true},
        {{"script-src 'self'"}, true},
        {{"default-src 'self'"}, false},
        {{"default-src 'self'; frame-src http://127.0.0.1:8731"}, true},
        {{"frame-src 'none'; default-src *"}, false},
        {{"child-src http:"}, true},
        {{"child-src https:"}, false},
        {{"frame-src 127.0.0.1:*"}, false}, // the page's scheme, https, does not cover http
        {{"frame-src http://127.0.0.1:*/panel/"}, true},
        {{"frame-src http://*.0.0.1:8731"}, false}, // wildcards cover names, not addresses
        {{"frame-src http://localhost:8731"}, false},
        {{"frame-src *", "default-src 'none'"}, false}, // every policy must allow it
        {{"frame-src *, frame-src 'self'"}, false},
        {{"FRAME-SRC 'nonce-x' HTTP://127.0.0.1:8731"}, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PolicyAllowsFrame(c.policies, proxy, page), c.allowed)
            << (c.policies.empty() ? "" : c.policies.front());
    }
    EXPECT_TRUE(PolicyAllowsFrame({"frame-src 'self'"}, proxy, proxy));
}

TEST(ProxyRules, OnlyLoopbackAndAllowedNetworksAreAnswered) {
    const ClientRules rules({*ParseNetwork("192.168.1.0/24"), *ParseNetwork("fd00::/8")});
    const struct {
        std::string address;
        bool allowed;
    } cases[] = {{"127.0.0.1", true},    {"127.9.9.9", true},    {"::1", true},
                 {"192.168.1.77", true}, {"192.168.2.1", false}, {"10.0.0.1", false},
                 {"fd12::1", true},      {"fe80::1", false},     {"::ffff:127.0.0.1", true}};
    for (const auto& c : cases) {
        EXPECT_EQ(rules.Allows(*ParseIp(c.address)), c.allowed) << c.address;
    }
    EXPECT_FALSE(ClientRules({}).Allows(*ParseIp("192.168.1.77"))) << "none without --allow";
    for (const char* bad : {"192.168.1.0/33", "1.2.3.4/", "x/8", "::1/129"}) {
        EXPECT_FALSE(ParseNetwork(bad)) << bad;
    }
    EXPECT_EQ(ParseListenAddress("[::1]:0")->host, "::1");
    EXPECT_EQ(ParseListenAddress("9090")->host, "127.0.0.1");
    EXPECT_FALSE(ParseListenAddress("localhost:80")) << "an address, not a name";
}

TEST(ProxyRules, ForwardedHeadsDropWhatBelongsToOneConnection) {
    const std::optional<ResponseHead> head = ParseResponseHead(
        "HTTP/1.1 404 Not Here\r\nContent-Type: text/plain\r\nConnection: close, X-Hop\r\n"
        "X-Hop: 1\r\nX-Long: a\r\n  b\r\nTransfer-Encoding: chunked\r\nbad line\r\n"
        "X-Split: a\rInjected: 1\r\nBad Name: x\r\n\r\nbody");
    ASSERT_TRUE(head);
    EXPECT_EQ(head->status, 404u);
    EXPECT_EQ(head->reason, "Not Here");
    EXPECT_EQ(FindField(head->fields, "x-long").value_or(""), "a b");
    const std::vector<std::string> tokens = ConnectionTokens({"close, X-Hop"});
    std::vector<std::string> kept;
    for (const HeaderField& field : head->fields) {
        if (!IsHopByHop(field.name, tokens)) {
            kept.push_back(field.name);
        }
    }
    EXPECT_EQ(kept, (std::vector<std::string>{"Content-Type", "X-Long"}));
    for (const char* bad : {"", "HTTP/1.1 20 OK", "ICY 200 OK\r\n", "HTTP/1.1 200x"}) {
        EXPECT_FALSE(ParseResponseHead(bad)) << bad;
    }
    const std::vector<HeaderField> replayed = ReplayedFields(
        "HTTP/1.1 200 OK\r\nSet-Cookie: s=1\r\ncontent-type: image/gif\r\nETag: \"e\"\r\n\r\n");
    ASSERT_EQ(replayed.size(), 2u);
    EXPECT_EQ(replayed[0].value, "image/gif");
}

TEST(ProxyRules, PagesEscapeWhatTheyShow) {
    ListedEntry hostile;
    hostile.url = "http://a.example/\"><script>alert(1)</script>?a=1&b='2'";
    hostile.contentType = "text/html\"<x>";
    hostile.size = 7;
    const PageBody html = IndexPage({hostile}, false, {"127.0.0.1:8731", "k"});
    EXPECT_EQ(html.body.find("<script>"), std::string::npos);
    EXPECT_NE(html.body.find("&lt;script&gt;alert(1)&lt;/script&gt;?a=1&amp;b=&#39;2&#39;"),
              std::string::npos);
    EXPECT_NE(html.body.find(HtmlEscape(CopyViewPath("k", hostile.url))), std::string::npos);
    const PageBody json = IndexPage({hostile}, true, {"127.0.0.1:8731", "k"});
    EXPECT_NE(json.body.find(R"("contentType": "text/html\"<x>")"), std::string::npos);
    urlcache::MissedUrl odd{u"http://a.example/\x01\"\\", 1, 1, 3};
    EXPECT_NE(MissedPage({odd}, true).body.find(R"("url": "http://a.example/\u0001\"\\")"),
              std::string::npos);
    EXPECT_EQ(ParseOwnPage("/copy?url=http%3A%2F%2Fa%2Fb%20c").url, "http://a/b c");
    EXPECT_EQ(ParseOwnPage("/copy?url=%zz").kind, OwnPage::Kind::BadQuery);
    EXPECT_TRUE(ParseOwnPage("/missed?format=json").json);
    EXPECT_EQ(NotKeptPage("http://a/<b>", "http://p:1").find("<b>"), std::string::npos);
}

TEST(ProxyRules, TheLocalAuthoritySignsCertificatesForEachHost) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("dravik-ca-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    std::string error;
    auto authority = LocalAuthority::Open(folder.string(), error);
    ASSERT_TRUE(authority) << error;
    const std::string pem = LocalAuthority::CertificatePath(folder.string());
    std::FILE* file = std::fopen(pem.c_str(), "r");
    ASSERT_NE(file, nullptr);
    X509* ca = PEM_read_X509(file, nullptr, nullptr, nullptr);
    std::fclose(file);
    for (const std::string host : {"shop.example", "127.0.0.1", "::1"}) {
        const auto leaf = authority->LeafFor(host);
        ASSERT_TRUE(leaf) << host;
        BIO* bio = BIO_new_mem_buf(leaf->chainPem.data(), static_cast<int>(leaf->chainPem.size()));
        X509* cert = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
        BIO_free(bio);
        EXPECT_EQ(X509_verify(cert, X509_get0_pubkey(ca)), 1) << host;
        const bool ip = host.find_first_not_of("0123456789.") == std::string::npos ||
                        host.find(':') != std::string::npos;
        EXPECT_EQ(ip ? X509_check_ip_asc(cert, host.c_str(), 0)
                     : X509_check_host(cert, host.c_str(), host.size(), 0, nullptr),
                  1)
            << host;
        EXPECT_EQ(X509_check_host(cert, "other.example", 0, 0, nullptr), 0);
        X509_free(cert);
    }
    EXPECT_FALSE(authority->LeafFor("bad,DNS:evil.example")) << "no name can be smuggled in";
    const auto text = [&] {
        std::ifstream in(pem);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string made = text();
    ASSERT_TRUE(LocalAuthority::Open(folder.string(), error));
    EXPECT_EQ(text(), made) << "made once, then loaded";
    X509_free(ca);
    std::filesystem::remove_all(folder);
}

} // namespace
