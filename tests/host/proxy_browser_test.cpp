// SPDX-License-Identifier: Apache-2.0
// A real browser (Debian's chromium, headless) pointed at `dravik proxy`:
// a page of the --direct engine whose images and style sheet live on a
// content host that was synchronized and then stopped.
#include "ProxyFixture.h"
#include "support/TestCertificates.h"
#include "support/TestServers.h"

namespace {

// A 1x1 GIF: a broken or missing image has a natural width of 0.
const std::string kGif("GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00!\xf9\x04\x01"
                       "\x00\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02"
                       "D\x01\x00;",
                       43);

/// The engine's page: two images and a style sheet from `content`, and a
/// script that writes what was rendered into the page once it has loaded.
std::string EnginePage(const std::string& content) {
    return "<html><head><link rel=stylesheet href=\"" + content +
           "/s.css\"></head><body><img src=\"" + content + "/a.gif\"><img src=\"" + content +
           "/b.gif\"><p id=out>not loaded</p><script>addEventListener('load', function () {"
           "var w = []; for (var i of document.images) w.push(i.naturalWidth);"
           "document.getElementById('out').textContent = 'widths ' + w.join(',') + ' color ' + "
           "getComputedStyle(document.body).color; });</script></body></html>";
}

std::string PercentEncoded(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : text) {
        if (std::isalnum(c) != 0 || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += {'%', hex[c >> 4], hex[c & 15]};
        }
    }
    return out;
}

class Browser : public ProxyFixture {
  protected:
    void SetUp() override {
        ProxyFixture::SetUp();
        if (std::system("command -v chromium >/dev/null 2>&1") != 0) {
            GTEST_SKIP() << "chromium is not installed here (scripts/setup installs it)";
        }
        engine.Page("/orx?ORXCmd=Show&s=1", "", "text/html");
    }

    void ServeContent(httplib::Server& routes) {
        routes.Get("/(a|b).gif", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(kGif, "image/gif");
        });
        routes.Get("/s.css", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("body { color: rgb(1, 2, 3) }", "text/css");
        });
    }

    /// Synchronizes the engine's page whose resources are on `content`.
    void Sync(const std::string& content) {
        engine.Page("/orx?ORXCmd=Show&s=1", EnginePage(content));
        const Outcome sync = Dravik("sync '" + HostPage(engine, "ORXCmd=Show&amp;s=1") + "'");
        ASSERT_EQ(sync.status, 0) << sync.err;
    }

    /// What the page's script wrote, as the browser loaded it through the
    /// proxy. Loopback addresses go through the proxy too.
    std::string Rendered() { return Rendered(engine.Origin() + "/orx?ORXCmd=Show&s=1", true); }

    /// What the script of the page at `url` wrote; `proxied` sends every
    /// request through the proxy, loopback addresses too, otherwise the
    /// browser asks the proxy's own address directly.
    std::string Rendered(const std::string& url, bool proxied) {
        const std::filesystem::path profile = m_home / "profile";
        const std::string proxy =
            proxied ? " --proxy-server=" + ProxyUrl() + " --proxy-bypass-list='<-loopback>'" : "";
        const Outcome run =
            Shell("chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
                  "--disable-background-networking --disable-component-update --disable-sync "
                  "--user-data-dir='" +
                      profile.string() + "'" + proxy + " --virtual-time-budget=5000 --dump-dom '" +
                      url + "'",
                  90);
        const std::string mark = "<p id=\"out\">";
        const auto at = run.out.find(mark);
        return at == std::string::npos
                   ? "no page: " + run.err.substr(0, 300)
                   : run.out.substr(at + mark.size(), run.out.find('<', at + 1) - at - mark.size());
    }

    TestServer engine;
};

TEST_F(Browser, RendersWhatASyncKeptFromAStoppedHost) {
    std::optional<TestServer> content(std::in_place);
    content->Page("/a.gif", kGif, "image/gif");
    content->Page("/b.gif", kGif, "image/gif");
    content->Page("/s.css", "body { color: rgb(1, 2, 3) }", "text/css");
    Sync(content->Origin());
    content.reset();
    ASSERT_EQ(Dravik("offline on").status, 0);
    ASSERT_TRUE(StartProxy({"--direct", engine.HostKey()}));
    EXPECT_EQ(Rendered(), "widths 1,1 color rgb(1, 2, 3)");
}

TEST_F(Browser, RendersHttpsFromTheCacheThroughTheLocalAuthority) {
    if (std::system("command -v certutil >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "certutil (libnss3-tools) is not installed here";
    }
    {
        const testsupport::Identity self = testsupport::MakeIdentity({});
        testsupport::LocalServer content(self);
        ServeContent(content.Routes());
        content.Start();
        Sync("https://127.0.0.1:" + std::to_string(content.Port()));
    }
    // The browser trusts the local authority the way a user sets it up:
    // in the NSS database of its home folder.
    const Outcome ca = Dravik("proxy --ca");
    ASSERT_EQ(ca.status, 0) << ca.err;
    const std::string nss = "sql:" + (m_home / ".pki/nssdb").string();
    std::filesystem::create_directories(m_home / ".pki/nssdb");
    ASSERT_EQ(Shell("certutil -d " + nss + " -N --empty-password").status, 0);
    ASSERT_EQ(Shell("certutil -d " + nss + " -A -t C,, -n dravik -i '" +
                    ca.out.substr(0, ca.out.find('\n')) + "'")
                  .status,
              0);
    ASSERT_EQ(Dravik("offline on").status, 0);
    ASSERT_TRUE(StartProxy({"--intercept", "--direct", engine.HostKey()}));
    EXPECT_EQ(Rendered(), "widths 0,0 color rgb(0, 0, 0)")
        << "the test server's certificate was never verified";
    StopProxy();
    ASSERT_TRUE(StartProxy(
        {"--intercept", "--trust-unverified", "127.0.0.1", "--direct", engine.HostKey()}));
    EXPECT_EQ(Rendered(), "widths 1,1 color rgb(1, 2, 3)");
}

// A kept page shown in the proxy's copy view: its relative references show
// the kept pictures and style sheet, and its script, though it runs, reads
// nothing of the proxy's: not the index, not another site's kept page, and
// it cannot load another site's kept script from an address made from its
// own.
TEST_F(Browser, ACopyShowsItsResourcesAndItsScriptReadsNothingOfTheProxy) {
    std::optional<TestServer> content(std::in_place);
    std::optional<TestServer> other(std::in_place);
    const std::string secret = other->Origin() + "/private.html";
    other->Page("/private.html", "<p>the other site's secret</p>");
    const std::string bank = other->Origin() + "/bank.js";
    other->Page("/bank.js", "var BANK = 'the other site\\'s balance';", "application/javascript");
    content->Page("/a.gif", kGif, "image/gif");
    content->Page("/d/b.gif", kGif, "image/gif");
    content->Page("/d/s.css", "body { color: rgb(1, 2, 3) }", "text/css");
    const std::string probe = "fetch(u).then(function (r) { return r.text(); }).then("
                              "function () { return 'read'; }, function () { return 'blocked'; })";
    content->Page("/d/page.html",
                  "<html><head><link rel=stylesheet href=s.css></head><body><img src=\"/a.gif\">"
                  "<img src=b.gif><p id=out>not loaded</p><script>"
                  "function probe(u) { return " +
                      probe +
                      "; }"
                      "addEventListener('load', function () {"
                      "var w = []; for (var i of document.images) w.push(i.naturalWidth);"
                      "var view = document.images[0].src.replace(/url=.*/, 'url=');"
                      "var script = new Promise(function (done) {"
                      "var s = document.createElement('script'); s.src = view + '" +
                      PercentEncoded(bank) +
                      "'; s.onload = function () { done(typeof BANK); };"
                      "s.onerror = function () { done('blocked'); };"
                      "document.body.appendChild(s); });"
                      "Promise.all([probe('/?format=json'), probe(view + '" +
                      PercentEncoded(secret) +
                      "'), script]).then(function (r) {"
                      "document.getElementById('out').textContent = 'widths ' + w.join(',') + "
                      "' color ' + getComputedStyle(document.body).color + ' index ' + r[0] + "
                      "' copy ' + r[1] + ' script ' + r[2]; }); });</script></body></html>");
    engine.Page("/orx?ORXCmd=Show&s=1", "<iframe src=\"" + content->Origin() +
                                            "/d/page.html\"></iframe><iframe src=\"" + secret +
                                            "\"></iframe><script src=\"" + bank + "\"></script>");
    const Outcome sync =
        Dravik("sync --outside-links '" + HostPage(engine, "ORXCmd=Show&amp;s=1") + "'");
    ASSERT_EQ(sync.status, 0) << sync.err;
    const std::string page = content->Origin() + "/d/page.html";
    content.reset();
    other.reset();
    ASSERT_TRUE(StartProxy({}));
    // The view's address comes from the index: it carries a capability for
    // that one copy, without which no page can load it.
    const std::string index = Curl(ProxyUrl() + "/?format=json").body;
    const std::string wanted = "&url=" + PercentEncoded(page) + "\"";
    const auto end = index.find(wanted);
    ASSERT_NE(end, std::string::npos) << index;
    const auto start = index.rfind("/copy?key=", end);
    ASSERT_NE(start, std::string::npos) << index;
    const std::string view = ProxyUrl() + index.substr(start, end + wanted.size() - 1 - start);
    EXPECT_EQ(Curl(ProxyUrl() + "/copy?url=" + PercentEncoded(page)).status, 403);
    EXPECT_EQ(Curl(ProxyUrl() + "/copy?key=0&url=" + PercentEncoded(page)).status, 403);
    EXPECT_EQ(Curl(view).status, 200) << view;
    EXPECT_EQ(Rendered(view, false),
              "widths 1,1 color rgb(1, 2, 3) index blocked copy blocked script blocked");
}

} // namespace
