// SPDX-License-Identifier: Apache-2.0
#include "host/DemoSite.h"
#include "host/browser/DialogHtml.h"

#include "host/common/HostPage.h"

#include <chrono>

namespace {

// The smallest GIF there is: one transparent pixel.
const std::string kPixel("GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff!"
                         "\xf9\x04\x01\x00\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01\x00\x00"
                         "\x02\x02\x44\x01\x00;",
                         43);

std::string Page(const std::string& title, const std::string& body) {
    return "<html><head><title>" + title + "</title></head><body>\n<h1>" + title + "</h1>\n" +
           body + "\n</body></html>\n";
}

struct Param {
    const char* name;
    std::string value;
};

} // namespace

DemoSite::DemoSite() {
    AddEngineRoutes();
    AddContentRoutes();
    Start(m_engine, "engine");
    Start(m_content, "content");
}

DemoSite::~DemoSite() {
    for (Server* s : {&m_engine, &m_content}) {
        s->http.stop();
        s->thread.join();
    }
}

namespace {
// The line of the request being answered on this server thread: taken when
// the request arrives, completed with the status once it is answered.
thread_local std::size_t t_line = 0;
} // namespace

void DemoSite::Start(Server& server, const std::string& name) {
    // A request is listed when it arrives, not when its answer has gone out:
    // the crawl sends its next request as soon as it has an answer, which may
    // be before the server that answered has logged it.
    server.http.set_pre_routing_handler(
        [this, name](const httplib::Request& req, httplib::Response&) {
            std::lock_guard lock(m_mutex);
            t_line = m_requests.size();
            m_requests.push_back(name + "  ...  " + req.target);
            return httplib::Server::HandlerResponse::Unhandled;
        });
    server.http.set_logger([this, name](const httplib::Request& req, const httplib::Response& res) {
        std::lock_guard lock(m_mutex);
        if (t_line < m_requests.size()) {
            m_requests[t_line] = name + "  " + std::to_string(res.status) + "  " + req.target;
        }
    });
    server.http.set_tcp_nodelay(true);
    server.port = server.http.bind_to_any_port("127.0.0.1");
    server.thread = std::thread([&server] { server.http.listen_after_bind(); });
    while (!server.http.is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::string DemoSite::EngineOrigin() const {
    return "http://127.0.0.1:" + std::to_string(m_engine.port);
}

std::string DemoSite::ContentOrigin() const {
    return "http://127.0.0.1:" + std::to_string(m_content.port);
}

std::vector<std::string> DemoSite::Requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void DemoSite::AddEngineRoutes() {
    // The engine answers its commands; which of them a synchronization may
    // fetch is the host page's choice (Info.ORXCommands, Info.InvokeMethods).
    m_engine.http.Get("/orx", [this](const httplib::Request& req, httplib::Response& res) {
        const std::string cmd = req.get_param_value("ORXCmd");
        const std::string content = ContentOrigin();
        std::string body;
        if (cmd == "Home") {
            body = "<frame src=\"orx?ORXCmd=Menu\">\n"
                   "<img src=\"" +
                   content +
                   "/img/logo.gif\">\n"
                   "<img src=\"/static/banner.gif\"> (no command: never fetched)\n"
                   "<a href=\"orx?ORXCmd=Article&amp;id=1\">First article</a>\n"
                   "<a href=\"orx?ORXCmd=Admin\">Administration (not an allowed command)</a>\n"
                   "<a href=\"" +
                   content + "/guide/index.html\">The guide, on another host</a>";
        } else if (cmd == "Menu") {
            body = "<link rel=\"stylesheet\" href=\"" + content +
                   "/style.css\">\n"
                   "<a href=\"orx?ORXCmd=Article&id=2\">Second article</a>\n"
                   "<img src=\"" +
                   content + "/img/menu.gif\">";
        } else if (cmd == "Article") {
            const std::string id = req.get_param_value("id");
            body = "<img src=\"" + content + "/img/article" + id +
                   ".gif\">\n"
                   "<a href=\"orx?ORXCmd=InvokeMethod&ORXMethod=Print&id=" +
                   id +
                   "\">Print</a>\n"
                   "<a href=\"orx?ORXCmd=InvokeMethod&ORXMethod=Delete&id=" +
                   id + "\">Delete (not an allowed method)</a>";
        } else if (cmd == "InvokeMethod") {
            body = "<p>Printable article " + req.get_param_value("id") + "</p>";
        } else {
            res.status = 403;
            body = "<p>Not for offline use.</p>";
        }
        res.set_content(Page("Engine: " + cmd, body), "text/html; charset=utf-8");
    });
}

void DemoSite::AddContentRoutes() {
    m_content.http.Get(R"(/img/.*\.gif)", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(kPixel, "image/gif");
    });
    m_content.http.Get("/style.css", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("body { font-family: sans-serif; }\n", "text/css");
    });
    m_content.http.Get("/guide/index.html", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(Page("Guide", "<img src=\"pictures/map.gif\">\n"
                                      "<a href=\"next.html\">Next chapter</a>"),
                        "text/html");
    });
    m_content.http.Get("/guide/pictures/map.gif",
                       [](const httplib::Request&, httplib::Response& res) {
                           res.set_content(kPixel, "image/gif");
                       });
    m_content.http.Get("/guide/next.html", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(Page("Next chapter", "<p>The end.</p>"), "text/html");
    });
}

std::string DemoSite::HostPage() const {
    const Param params[] = {
        {"Info.ORXPath", EngineOrigin() + "/orx"},
        {"Info.HttpRequestHeaders", "X-Demo: 1&#13;&#10;"},
        {"Info.UserName", "demo"},
        {"Info.InvokeMethods", "Print"},
        {"Info.ORXCommands", "Home,Menu,Article,InvokeMethod"},
        {"Label.SynchronizeButton", "Synchronize"},
        {"Label.OutsideLinks", "Follow links to other sites"},
        {"Label.Title", "Dravik demo"},
        {"Msg.NoUsername", "Please sign in first."},
        {"Msg.SynchInProgress", "Synchronizing %1..."},
        {"Msg.SynchFailed", "%1 could not be synchronized."},
        {"Msg.SynchComplete", "Synchronization complete."},
        {"S1.Name", "Home"},
        {"S1.Label.Subscription", "Home page"},
        {"S1.Label.IncludeLinks", "with linked pages"},
        {"S1.URL1.URL", "ORXCmd=Home"},
        {"S1.URL1.Depth.Default", "0"},
        {"S1.URL1.Depth.IncludeLinks", "2"},
        {"S2.Name", "Articles"},
        {"S2.Label.Subscription", "Articles"},
        {"S2.Label.IncludeLinks", "with printable versions"},
        {"S2.URL1.URL", "ORXCmd=Article&amp;id=3"},
        {"S2.URL1.Depth.Default", "0"},
        {"S2.URL1.Depth.IncludeLinks", "1"},
    };
    std::string page = "<!DOCTYPE html>\n<html><head><title>Dravik demo</title></head><body>\n"
                       "<object id=\"dravik\" classid=\"" +
                       ControlClassId() + "\" width=\"" + std::to_string(PanelPixels().first) +
                       "\" height=\"" + std::to_string(PanelPixels().second) + "\">\n";
    for (const Param& p : params) {
        page += "  <param name=\"" + std::string(p.name) + "\" value=\"" + p.value + "\">\n";
    }
    return page + "</object>\n</body></html>\n";
}
