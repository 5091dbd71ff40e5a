// SPDX-License-Identifier: Apache-2.0
// The control's panel in a browser page: the proxy puts it in place of the
// control's <object> in pages that pass it and leaves every other page as
// it came; a real browser checks a box, presses Synchronize, watches the
// run and reads its message; a request that does not come from the panel
// starts nothing.
#include "ProxyFixture.h"
#include "control/resources/ResourceIds.h"
#include "control/resources/Strings.h"
#include "host/browser/DialogHtml.h"
#include "host/common/HostPage.h"

#include <regex>

namespace {

class BrowserPanel : public ProxyFixture {
  protected:
    static bool BrowserMissing() {
        return std::system("command -v chromium >/dev/null && command -v chromedriver "
                           ">/dev/null && /usr/bin/python3 -c 'import selenium' 2>/dev/null") != 0;
    }
    static std::string SnippetSize() {
        const auto [width, height] = PanelPixels();
        return " width=\"" + std::to_string(width) + "\" height=\"" + std::to_string(height) + "\"";
    }
    /// A host page for `engine` with two subscriptions and the texts of a run.
    /// By default the object has the size `dravik snippet` gives it.
    std::string HostPageText(const std::string& objectSize = SnippetSize()) {
        const std::string params =
            Param("Info.ORXPath", engine.Origin() + "/orx") + Param("Info.UserName", "jdoe") +
            Param("Info.ORXCommands", "Show") + Param("Label.Title", "News desk") +
            Param("Label.SynchronizeButton", "Synchronize") +
            Param("Label.OutsideLinks", "Follow outside links") +
            Param("Msg.SynchInProgress", "Synchronizing %1...") +
            Param("Msg.SynchComplete", "All news is here") + Param("Msg.SynchFailed", "%1 failed") +
            Param("S1.Name", "Main") + Param("S1.Label.Subscription", "Main news") +
            Param("S1.Label.IncludeLinks", "With linked pages") +
            Param("S1.URL1.URL", "ORXCmd=Show&amp;s=1") + Param("S1.URL1.Depth.IncludeLinks", "1");
        return "<html><head><title>Desk</title></head><body><h1>Desk</h1><object classid=\"" +
               ControlClassId() + "\"" + objectSize + ">" + params +
               "</object><p>after the object</p></body></html>";
    }

    TestServer engine;
};

// The pages pass forwarded, from a --direct host and from the cache: with
// the control's object only that element changes, without it every byte
// stays; a page with a panel is not for the browser to keep, and only
// requests that show a page get one.
TEST_F(BrowserPanel, OnlyTheControlsObjectOfAPassingPageIsReplaced) {
    const std::string page = HostPageText(" width=\"480\" height=\"380\"");
    const std::string plain =
        "<html><body><object classid=\"clsid:0\"></object>plain</body></html>";
    engine.Reply("/desk.html", {200,
                                "text/html",
                                page,
                                "",
                                {},
                                false,
                                {{"Last-Modified", "Tue, 01 Dec 2026 10:00:00 GMT"},
                                 {"Cache-Control", "max-age=600"},
                                 {"Vary", "Accept-Language"},
                                 {"Vary", "Cookie"}}});
    engine.Page("/plain.html", plain);
    // A page whose policy forbids the proxy's frame says so in its place.
    engine.Reply("/strict.html", {200,
                                  "text/html",
                                  page,
                                  "",
                                  {},
                                  false,
                                  {{"Content-Security-Policy", "default-src 'self'"}}});
    engine.Page("/plain.txt", page, "text/plain");
    const std::regex frame(
        "<h1>Desk</h1><iframe src=\"http://127\\.0\\.0\\.1:[0-9]+/panel/"
        "[0-9a-f]{32}\\?page=[^\"]+\" width=\"480\" height=\"380\" style=\"border:0\" "
        "referrerpolicy=\"no-referrer\"></iframe><p>after the object</p>");
    const auto check = [&](const std::string& how) {
        const Response desk = Curl(engine.Origin() + "/desk.html");
        EXPECT_EQ(desk.status, 200) << how;
        EXPECT_TRUE(std::regex_search(desk.body, frame)) << how << ": " << desk.body;
        EXPECT_EQ(desk.body.substr(0, desk.body.find("<iframe")),
                  page.substr(0, page.find("<object")))
            << how;
        EXPECT_EQ(Curl(engine.Origin() + "/plain.html").body, plain) << how;
        // HEAD states no length, which only the page seen whole can give.
        const Response head = Curl(engine.Origin() + "/desk.html", "-I");
        EXPECT_EQ(head.status, 200) << how;
        EXPECT_EQ(head.headers.find("Content-Length"), std::string::npos) << how;
        EXPECT_EQ(Curl(engine.Origin() + "/plain.txt").body, page) << how;
        const std::string strict = Curl(engine.Origin() + "/strict.html").body;
        EXPECT_EQ(strict.find("<iframe"), std::string::npos) << how;
        EXPECT_NE(strict.find("this page's Content-Security-Policy does not allow frames from " +
                              ProxyUrl()),
                  std::string::npos)
            << how << ": " << strict;
        // A page that names a panel is never kept by the browser, whatever
        // the origin said.
        EXPECT_NE(desk.headers.find("Cache-Control: no-store"), std::string::npos) << how;
        EXPECT_EQ(desk.headers.find("max-age"), std::string::npos) << how;
        EXPECT_EQ(desk.headers.find("Last-Modified"), std::string::npos) << how;
        // Frames get the panel; a script's fetch() gets the page as it is.
        EXPECT_TRUE(std::regex_search(
            Curl(engine.Origin() + "/desk.html", "-H 'Sec-Fetch-Dest: iframe'").body, frame))
            << how;
        const Response fetched = Curl(engine.Origin() + "/desk.html", "-H 'Sec-Fetch-Dest: empty'");
        EXPECT_EQ(fetched.body, page) << how;
        // ... which the browser may keep for fetch() only, varying as before too.
        EXPECT_TRUE(std::regex_search(fetched.headers, std::regex("Vary: [^\r]*Sec-Fetch-Dest")))
            << how << ": " << fetched.headers;
        EXPECT_TRUE(how == "from the cache" ||
                    fetched.headers.find("Vary: Accept-Language, Cookie, Sec-Fetch-Dest\r") !=
                        std::string::npos)
            << how << ": " << fetched.headers;
    };
    // A panel that is gone says so inside its frame and offers the page.
    const auto gone = [&](const std::string& page) {
        return Curl(ProxyUrl() + "/panel/" + std::string(32, '0') + "?page=" + page);
    };
    ASSERT_TRUE(StartProxy({}));
    check("forwarded");
    StopProxy();
    ASSERT_TRUE(StartProxy({"--direct", engine.HostKey()}));
    check("direct");
    StopProxy();
    ASSERT_EQ(Dravik("offline on").status, 0);
    ASSERT_TRUE(StartProxy({}));
    check("from the cache");
    const Response missing = gone("http%3A%2F%2F127.0.0.1%3A9%2Fdesk.html");
    EXPECT_EQ(missing.status, 404);
    EXPECT_NE(missing.body.find("<a href=\"http://127.0.0.1:9/desk.html\" target=\"_top\">"),
              std::string::npos)
        << missing.body;
    EXPECT_NE(missing.headers.find("frame-ancestors *"), std::string::npos) << missing.headers;
    EXPECT_EQ(missing.headers.find("X-Frame-Options"), std::string::npos) << missing.headers;
    EXPECT_EQ(gone("javascript%3Aalert(1)").body.find("<a "), std::string::npos);
}

// The script a browser runs the panel with (python3-selenium, chromedriver).
const char* const kDriver = R"(
import json, re, subprocess, sys, time, urllib.request
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.common.exceptions import StaleElementReferenceException
from selenium.webdriver.support.ui import WebDriverWait
proxy, page, shot, profile, dravik = sys.argv[1:6]
options = webdriver.ChromeOptions()
options.binary_location = '/usr/bin/chromium'
for a in ['--headless=new', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
          '--disable-background-networking', '--disable-component-update', '--disable-sync',
          '--proxy-server=' + proxy, '--proxy-bypass-list=<-loopback>',
          '--user-data-dir=' + profile, '--window-size=760,560']:
    options.add_argument(a)
d = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
out = {}
try:
    # The panel redraws as its state changes: an element found may go
    # before it is used, so every look is retried until it holds.
    wait = WebDriverWait(d, 30, poll_frequency=0.05,
                         ignored_exceptions=(StaleElementReferenceException,))
    text = lambda by, name: wait.until(lambda d: d.find_element(by, name).text)
    click = lambda by, name: wait.until(lambda d: d.find_element(by, name).click() or True)
    d.get(page)
    d.switch_to.frame(d.find_element(By.TAG_NAME, 'iframe'))
    box = lambda: d.find_element(By.CSS_SELECTOR, '[data-id="206"] input')
    wait.until(lambda d: box())
    out['key'] = d.find_element(By.TAG_NAME, 'body').get_attribute('data-key')
    out['path'] = d.execute_script('return location.pathname')
    out['rects'] = d.execute_script(
        "var p = document.getElementById('panel').getBoundingClientRect(), r = {};"
        "document.querySelectorAll('#panel [data-id]').forEach(function (e) {"
        "var b = e.getBoundingClientRect();"
        "r[e.dataset.id] = [b.left - p.left, b.top - p.top, b.width, b.height]; });"
        "return r;")
    out['fits'] = d.execute_script(
        "var e = document.documentElement;"
        "return e.scrollWidth <= innerWidth && e.scrollHeight <= innerHeight;")
    # The keyboard, as in the dialog: the focus starts on Synchronize and
    # Shift-Tab walks the enabled controls back in the template's order.
    focused = lambda: d.execute_script(
        "var a = document.activeElement, c = a && a.closest('[data-id]');"
        "return c ? c.dataset.id : '';")
    keys = lambda *k: ActionChains(d).send_keys(*k).perform()
    out['focus'] = wait.until(lambda d: focused())
    out['disabled'] = ' '.join(d.execute_script(
        "return Array.from(document.querySelectorAll('#panel [data-id]')).filter(function (e) {"
        "return e.classList.contains('off') || e.disabled; }).map(function (e) {"
        "return e.dataset.id; });"))
    back = []
    for _ in range(8):
        ActionChains(d).key_down(Keys.SHIFT).send_keys(Keys.TAB).key_up(Keys.SHIFT).perform()
        if not focused():
            break
        back.append(focused())
    out['backwards'] = ' '.join(back)
    # Space checks and unchecks the focused box, which keeps the focus
    # through the redraws; Enter on it presses Synchronize.
    d.execute_script('arguments[0].focus()', box())
    states = []
    for _ in range(3):
        before = box().is_selected()
        keys(Keys.SPACE)
        wait.until(lambda d: box().is_selected() != before)
        states.append(('on' if box().is_selected() else 'off') + '@' + focused())
    out['space'] = ' '.join(states)
    subprocess.run([dravik, 'offline', 'on'], check=True)
    box().send_keys(Keys.ENTER)
    wait.until(lambda d: d.find_elements(By.ID, 'prompt-yes'))
    out['prompt'] = text(By.ID, 'prompt')
    click(By.ID, 'prompt-yes')
    wait.until(lambda d: 'request' in d.find_element(By.ID, 'live').text)
    out['progress'] = text(By.ID, 'progress')
    out['again'] = d.execute_async_script(
        "var done = arguments[0]; fetch(location.pathname + '/click?ctl=201', {method: 'POST',"
        "headers: {'X-Dravik-Key': document.body.getAttribute('data-key')}}).then(function (r) {"
        "r.json().then(function (j) { done(r.status + ' ' + j.message); }); });")
    # The page opened again meanwhile (in another tab, say): its frame says
    # at once that it waits for the run, instead of holding the page's load.
    other = urllib.request.build_opener(urllib.request.ProxyHandler({'http': proxy}))
    html = other.open(page, timeout=20).read().decode()
    src = re.search(r'<iframe src=.([^"]+)', html).group(1).replace('&amp;', '&')
    started = time.time()
    direct = urllib.request.build_opener(urllib.request.ProxyHandler({}))
    waiting = direct.open(src, timeout=20).read().decode()
    out['waiting'] = '%s %d' % ('appears when it ends' in waiting, time.time() - started)
    wait.until(lambda d: d.find_elements(By.ID, 'box-text'))
    out['box'] = text(By.ID, 'box')
    d.switch_to.default_content()
    d.save_screenshot(shot)
finally:
    d.quit()
print(json.dumps(out))
)";

TEST_F(BrowserPanel, AUserSynchronizesInTheBrowserAndNoOtherPageCan) {
    if (BrowserMissing()) {
        GTEST_SKIP() << "chromium, chromedriver or python3-selenium is missing "
                        "(scripts/setup installs them)";
    }
    engine.Page("/desk.html", HostPageText());
    engine.Reply("/orx?ORXCmd=Show&s=1",
                 {200, "text/html", "<p>news</p>", "", std::chrono::milliseconds(3000)});
    ASSERT_TRUE(StartProxy({}));
    const std::filesystem::path script = m_home / "drive.py";
    std::ofstream(script) << kDriver;
    const char* source = std::getenv("DRAVIK_SOURCE_DIR");
    const std::string shot = source != nullptr ? std::string(source) + "/docs/panel-in-page.png"
                                               : (m_home / "panel-in-page.png").string();
    const Outcome run = Shell("/usr/bin/python3 '" + script.string() + "' " + ProxyUrl() + " '" +
                                  engine.Origin() + "/desk.html' '" + shot + "' '" +
                                  (m_home / "profile").string() + "' '" + m_binary + "'",
                              120);
    ASSERT_EQ(run.status, 0) << run.err.substr(run.err.size() > 2000 ? run.err.size() - 2000 : 0);
    const auto text = [&run](const std::string& name) {
        const std::smatch m = [&] {
            std::smatch found;
            std::regex_search(run.out, found, std::regex("\"" + name + "\": \"([^\"]*)\""));
            return found;
        }();
        return m.empty() ? std::string() : m[1].str();
    };
    // Set to work offline before the press, the library asks first.
    EXPECT_NE(
        text("prompt").find("Go online to reach this address?\\n" + engine.Origin() + "/orx\\n"),
        std::string::npos)
        << run.out;
    EXPECT_EQ(Dravik("offline status").out.find("online"), 0u) << "the answer Yes went online";
    EXPECT_NE(text("progress").find("Synchronizing Main news..."), std::string::npos) << run.out;
    EXPECT_NE(text("progress").find("/orx?ORXCmd=Show&s=1"), std::string::npos) << run.out;
    EXPECT_NE(text("box").find("All news is here"), std::string::npos) << run.out;
    EXPECT_EQ(text("again"), "409 The synchronization is still running.") << run.out;
    EXPECT_EQ(text("waiting"), "True 0") << run.out;
    const std::vector<std::string> targets = engine.Targets();
    EXPECT_EQ(std::count(targets.begin(), targets.end(), "/orx?ORXCmd=Show&s=1"), 1)
        << "a second press started nothing";
    EXPECT_NE(
        Read(m_home / "config" / "dravik" / "dravik.ini").find("Main=2\nFollowOutsideLinks=0"),
        std::string::npos);

    // Each control where dialog 201 places it, in pixels of its font.
    const DialogTemplate* panel = nullptr;
    for (const DialogTemplate& dialog : DravikDialogTemplates()) {
        panel = dialog.id == IDD_DRAVIK_PANEL ? &dialog : panel;
    }
    ASSERT_NE(panel, nullptr);
    const DialogScale scale = DialogScale::Of(*panel);
    int placed = 0;
    for (const ControlTemplate& control : panel->controls) {
        std::smatch m;
        const std::regex rect("\"" + std::to_string(control.id) +
                              "\": \\[([0-9.]+), ([0-9.]+), ([0-9.]+), ([0-9.]+)\\]");
        if (!std::regex_search(run.out, m, rect)) {
            continue; // hidden: not drawn
        }
        const int expected[] = {scale.X(control.rect.left), scale.Y(control.rect.top),
                                scale.X(control.rect.width), scale.Y(control.rect.height)};
        for (int i = 0; i < 4; ++i) {
            EXPECT_NEAR(std::stod(m[i + 1].str()), expected[i], 1.0) << control.id;
        }
        ++placed;
    }
    EXPECT_EQ(placed, 4) << "205, 206, 215 and 201 are shown; " << run.out;

    // The whole panel in the snippet's element; the keyboard of a dialog.
    EXPECT_NE(run.out.find("\"fits\": true"), std::string::npos) << run.out;
    EXPECT_EQ(text("focus"), std::to_string(IDC_SYNCHRONIZE)) << run.out;
    std::vector<std::string> order; // Shift-Tab's from Synchronize
    const std::string disabled = " " + text("disabled") + " ";
    for (const ControlTemplate& control : panel->controls) {
        const std::string id = std::to_string(control.id);
        if (run.out.find("\"" + id + "\": [") != std::string::npos &&
            disabled.find(" " + id + " ") == std::string::npos && control.id != IDC_SYNCHRONIZE) {
            order.insert(order.begin(), id);
        }
    }
    std::string backwards;
    for (const std::string& id : order) {
        backwards += (backwards.empty() ? "" : " ") + id;
    }
    EXPECT_EQ(text("backwards"), backwards) << run.out;
    const std::string s1 = std::to_string(IDC_S1_INCLUDE_LINKS);
    EXPECT_EQ(text("space"), "on@" + s1 + " off@" + s1 + " on@" + s1) << run.out;

    // The run's own request, replayed from another origin with the key.
    const std::string key = text("key");
    ASSERT_EQ(key.size(), 64u) << run.out;
    const std::string frame = text("path");
    engine.ClearRequests();
    const std::string post = "-X POST -H 'X-Dravik-Key: " + key + "' ";
    const Response status =
        Curl(ProxyUrl() + frame + "/status", post + "-H 'Origin: " + ProxyUrl() + "'");
    EXPECT_EQ(status.status, 200) << "the key and the panel are the browser's: " << status.body;
    const Response replayed =
        Curl(ProxyUrl() + frame + "/click?ctl=201", post + "-H 'Origin: http://evil.example'");
    EXPECT_EQ(replayed.status, 403);
    EXPECT_EQ(replayed.headers.find("Access-Control-Allow"), std::string::npos);
    EXPECT_NE(replayed.headers.find("Cross-Origin-Resource-Policy: same-origin"),
              std::string::npos);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(engine.Targets().empty()) << "a refused request started a run";
}

// Pages the browser opens again, beside other pages, after a restart.
const char* const kAgainDriver = R"(
import json, os, signal, subprocess, sys, time
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.common.exceptions import StaleElementReferenceException
from selenium.webdriver.support.ui import WebDriverWait
proxy, origin, profile, dravik, old = sys.argv[1:6]
options = webdriver.ChromeOptions()
options.binary_location = '/usr/bin/chromium'
for a in ['--headless=new', '--no-sandbox', '--disable-gpu', '--no-first-run',
          '--disable-background-networking', '--proxy-server=' + proxy,
          '--proxy-bypass-list=<-loopback>', '--user-data-dir=' + profile]:
    options.add_argument(a)
d = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
wait = WebDriverWait(d, 20, poll_frequency=0.05,
                     ignored_exceptions=(StaleElementReferenceException,))
out, restarted = {}, None
def panel(page):
    """Opens `page` (None: as it is), checks and unchecks its box, and
    says what the panel shows."""
    if page:
        d.get(origin + page)
    d.switch_to.default_content()
    box = lambda: d.find_element(By.CSS_SELECTOR, '[data-id="206"] input')
    try:
        d.switch_to.frame(WebDriverWait(d, 10).until(
            lambda d: d.find_element(By.TAG_NAME, 'iframe')))
        WebDriverWait(d, 10).until(lambda d: box())
    except Exception:
        return 'broken: ' + d.find_element(By.TAG_NAME, 'body').text
    states = []
    for _ in range(2):
        before = box().is_selected()
        wait.until(lambda d: box().click() or True)
        wait.until(lambda d: box().is_selected() != before)
        states.append('on' if box().is_selected() else 'off')
    return ' '.join(states) + ' | ' + d.find_element(By.ID, 'panel').text.replace('\n', ' | ')
try:
    out['latin'] = panel('/latin.html')
    out['first'] = panel('/desk.html')
    first = d.current_window_handle
    d.switch_to.new_window('tab')
    d.get(origin + '/busy.html')
    wait.until(lambda d: d.title == 'done')
    d.switch_to.window(first)
    out['behind'] = panel(None)
    d.get(origin + '/plain.html')
    os.kill(int(old), signal.SIGTERM)
    while os.path.exists('/proc/' + old) and ') Z' not in open('/proc/' + old + '/stat').read():
        time.sleep(0.1)
    log = open(profile + '.log', 'w+')
    while 'listening' not in open(profile + '.log').read():
        if restarted is None or restarted.poll() is not None:
            time.sleep(0.2)
            restarted = subprocess.Popen([dravik, 'proxy', '--listen', proxy[7:]],
                                         stdout=log, stderr=log)
        time.sleep(0.1)
    out['restarted'] = panel('/desk.html')
finally:
    d.quit()
    if restarted:
        restarted.terminate()
print(json.dumps(out))
)";

// A page kept open beside a page that makes twenty panels and fetches
// twenty more keeps a working panel; a page the browser opens again after
// the proxy restarted gets a new one; labels read in the page's encoding.
TEST_F(BrowserPanel, PanelsStayWorkingBesideOtherPagesAndAfterARestart) {
    if (BrowserMissing()) {
        GTEST_SKIP() << "chromium, chromedriver or python3-selenium is missing";
    }
    const auto page = [&](const std::string& name, const std::string& lead) {
        return lead + "<object classid=\"" + ControlClassId() + "\"" + SnippetSize() + ">" +
               Param("Info.ORXPath", engine.Origin() + "/orx") + Param("S1.Name", name) +
               Param("S1.Label.Subscription", name) + Param("S1.URL1.URL", "a") + "</object>";
    };
    // UTF-8 with a stray byte before the object, kept by the browser if it may.
    engine.Reply("/desk.html", {200,
                                "text/html; charset=utf-8",
                                page("Caf\xC3\xA9 Z\xC3\xBCrich", "<p>\xFF</p>"),
                                "",
                                {},
                                false,
                                {{"Last-Modified", "Tue, 01 Dec 2026 10:00:00 GMT"},
                                 {"Cache-Control", "max-age=600"}}});
    engine.Page("/latin.html", page("Gen\xE8ve", ""), "text/html; charset=ISO-8859-1");
    engine.Page("/plain.html", "<p>plain</p>");
    engine.Page("/busy.html",
                "<body><script>var n = 0; function one() { if (++n == 40) document.title = "
                "'done'; } for (var i = 0; i < 20; i++) { fetch('/desk.html').then(function (r) "
                "{ return r.text(); }).then(one); var f = document.createElement('iframe'); "
                "f.onload = one; f.src = '/desk.html'; document.body.appendChild(f); "
                "}</script></body>");
    ASSERT_TRUE(StartProxy({}));
    const std::filesystem::path script = m_home / "again.py";
    std::ofstream(script) << kAgainDriver;
    const Outcome run = Shell("/usr/bin/python3 '" + script.string() + "' " + ProxyUrl() + " " +
                                  engine.Origin() + " '" + (m_home / "profile").string() + "' '" +
                                  m_binary + "' " + std::to_string(m_proxy),
                              180);
    ASSERT_EQ(run.status, 0) << run.err.substr(run.err.size() > 2000 ? run.err.size() - 2000 : 0);
    const std::string zurich = "Caf\xC3\xA9 Z\xC3\xBCrich";
    EXPECT_NE(run.out.find("\"latin\": \"on off | Gen\\u00e8ve\""), std::string::npos) << run.out;
    for (const std::string name : {"first", "behind", "restarted"}) {
        EXPECT_NE(run.out.find("\"" + name + "\": \"on off | Caf\\u00e9 Z\\u00fcrich\""),
                  std::string::npos)
            << name << ": " << run.out;
    }
    EXPECT_EQ(Dravik("names " + engine.Origin() + "/desk.html").out, zurich + "\n");
    EXPECT_EQ(Dravik("names " + engine.Origin() + "/latin.html").out, "Gen\xC3\xA8ve\n");
}

} // namespace
