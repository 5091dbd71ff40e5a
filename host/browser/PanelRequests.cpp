// SPDX-License-Identifier: Apache-2.0
// The requests of the browser panel: its document, its state, its clicks
// and the answer to a prompt, each checked before anything is done.
#include "control/resources/ResourceIds.h"
#include "control/resources/Strings.h"
#include "host/browser/DialogHtml.h"
#include "host/browser/PanelDocument.h"
#include "host/browser/PanelState.h"
#include "host/common/ControlObject.h"
#include "host/common/OutputText.h"
#include "host/common/QueryText.h"

#include <sys/random.h>

using browser::Panel;

namespace {

const char* const kJson = "application/json; charset=utf-8";

std::string RandomHex(std::size_t bytes) {
    std::string raw(bytes, '\0');
    std::size_t got = 0;
    while (got < bytes) {
        const ssize_t n = ::getrandom(raw.data() + got, bytes - got, 0);
        got += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : raw) {
        out += hex[c >> 4];
        out += hex[c & 15];
    }
    return out;
}

bool SameSecret(std::string_view a, std::string_view b) {
    unsigned char diff = a.size() == b.size() ? 0 : 1;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    }
    return diff == 0;
}

PanelReply Json(unsigned status, std::string body) {
    return {status, kJson, std::move(body), {}};
}

PanelReply Refused(const std::string& why) {
    return {403, "text/plain; charset=utf-8", why + "\n", {}};
}

} // namespace

std::string PanelHost::State::StatusJson(const Panel& panel) {
    const bool mine = running.get() == &panel;
    std::string json = "{\"running\":" + std::string(mine ? "true" : "false") +
                       ",\"busy\":" + (running && !mine ? "true" : "false") +
                       ",\"html\":" + JsonString(panel.controls);
    if (mine && progress.shown) {
        json += ",\"progress\":{\"caption\":" + JsonString(progress.caption) +
                ",\"html\":" + JsonString(progress.controls) +
                ",\"width\":" + std::to_string(progress.width) +
                ",\"height\":" + std::to_string(progress.height) +
                ",\"font\":" + JsonString(progress.font) + ",\"live\":" +
                JsonString(counts.requests > 0 ? DescribeProgress(counts) : std::string()) + "}";
    }
    for (const auto& [name, shown] : {std::pair{"box", &panel.box}, {"prompt", &panel.prompt}}) {
        if (shown->seq > 0 && (shown->open || std::string_view(name) == "box")) {
            json += std::string(",\"") + name + "\":{\"seq\":" + std::to_string(shown->seq) +
                    ",\"caption\":" + JsonString(shown->caption) +
                    ",\"text\":" + JsonString(shown->text) +
                    ",\"notes\":" + JsonString(shown->notes) +
                    ",\"icon\":" + JsonString(shown->icon) + "}";
        }
    }
    return json + "}";
}

PanelReply PanelHost::State::Document(const Panel& panel) {
    PanelDocumentParts parts;
    parts.key = panel.key;
    parts.nonce = RandomHex(16);
    {
        const std::lock_guard lock(mutex);
        parts.controls = panel.controls;
        parts.width = panel.width;
        parts.height = panel.height;
        parts.error = panel.error;
    }
    PanelReply reply{200, "text/html; charset=utf-8", PanelDocument(parts), {}};
    // Only the page the panel was made for may frame it; its script and
    // style run by nonce; it reaches nothing but the proxy's own origin.
    reply.fields.emplace_back("Content-Security-Policy",
                              "default-src 'none'; script-src 'nonce-" + parts.nonce +
                                  "'; style-src 'nonce-" + parts.nonce +
                                  "'; style-src-attr 'unsafe-inline'; connect-src 'self'; "
                                  "base-uri 'none'; form-action 'none'; frame-ancestors " +
                                  panel.frameAncestor);
    return reply;
}

PanelReply PanelHost::State::WaitingDocument(const Panel& panel) {
    PanelReply reply{200,
                     "text/html; charset=utf-8",
                     "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><meta "
                     "http-equiv=\"refresh\" content=\"2\"></head><body style=\"font: 12px "
                     "Arial, sans-serif\"><p>A synchronization started from another page is "
                     "running; this panel appears when it ends.</p></body></html>\n",
                     {}};
    reply.fields.emplace_back("Content-Security-Policy",
                              "default-src 'none'; style-src 'unsafe-inline'; frame-ancestors " +
                                  panel.frameAncestor);
    return reply;
}

std::vector<std::shared_ptr<Panel>> PanelHost::State::Prune() {
    const auto now = std::chrono::steady_clock::now();
    std::vector<std::shared_ptr<Panel>> out;
    // Past the first limit only idle panels go; past the second, any but the
    // running one. Never-opened panels go first, then those asked about least
    // recently.
    for (const bool idleOnly : {true, false}) {
        const std::size_t limit = idleOnly ? kMaxPanels : kMaxLivePanels;
        while (panels.size() > limit) {
            auto victim = panels.end();
            for (auto it = panels.begin(); it != panels.end(); ++it) {
                const Panel& p = **it;
                if (*it == running || (idleOnly && now - p.asked < kIdleAfter)) {
                    continue;
                }
                if (victim == panels.end() ||
                    std::pair(p.opened, p.asked) < std::pair((*victim)->opened, (*victim)->asked)) {
                    victim = it;
                }
            }
            if (victim == panels.end()) {
                break;
            }
            (*victim)->forgotten = true;
            out.push_back(*victim);
            panels.erase(victim);
        }
    }
    return out;
}

PanelHost& PanelHost::Instance() {
    static PanelHost host;
    return host;
}

PanelHost::PanelHost() : m_state(std::make_unique<State>()) {}

PanelHost::~PanelHost() = default;

bool PanelHost::Handles(std::string_view target) {
    return target.starts_with("/panel/");
}

std::string PanelHost::Register(std::string_view page, const std::string& pageUrl,
                                std::string_view charset, const std::string& frameAncestor) {
    auto panel = std::make_shared<Panel>();
    panel->page = ParseHostPage(page, pageUrl, charset);
    if (!panel->page.ok) {
        return {};
    }
    panel->id = RandomHex(16);
    panel->key = RandomHex(32);
    panel->frameAncestor = frameAncestor;
    State& s = *m_state;
    panel->asked = std::chrono::steady_clock::now();
    std::vector<std::shared_ptr<Panel>> forgotten;
    {
        const std::lock_guard lock(s.mutex);
        s.panels.push_back(panel);
        forgotten = s.Prune();
    }
    for (std::shared_ptr<Panel>& old : forgotten) {
        // Its control is released where it lives.
        s.thread.Post([old = std::move(old)] { old->control.reset(); });
    }
    return "/panel/" + panel->id;
}

namespace {

/// The panel id, the action ("" for the document) and the query of a target.
struct PanelTarget {
    std::string id;
    std::string action;
    std::string query;
};

PanelTarget SplitTarget(std::string_view target) {
    PanelTarget out;
    std::string_view path = target.substr(std::string_view("/panel/").size());
    if (const std::size_t q = path.find('?'); q != std::string_view::npos) {
        out.query = path.substr(q + 1);
        path = path.substr(0, q);
    }
    const std::size_t slash = path.find('/');
    out.id = path.substr(0, slash);
    out.action = slash == std::string_view::npos ? "" : path.substr(slash + 1);
    return out;
}

/// The decimal value of `name` in `query`, or -1.
int QueryNumber(std::string_view query, std::string_view name) {
    const std::string mark = std::string(name) + "=";
    std::size_t at = query.starts_with(mark) ? 0 : query.find("&" + mark);
    if (at == std::string_view::npos) {
        return -1;
    }
    at += at == 0 && query.starts_with(mark) ? mark.size() : mark.size() + 1;
    int value = 0;
    bool any = false;
    for (; at < query.size() && query[at] >= '0' && query[at] <= '9' && value < 100000; ++at) {
        value = value * 10 + (query[at] - '0');
        any = true;
    }
    return any ? value : -1;
}

/// The panel's Synchronize: the dialog's default push button.
bool IsDefaultButton(const DialogTemplate& dialog, int id) {
    for (const ControlTemplate& control : dialog.controls) {
        if (control.id == id) {
            return control.kind == ControlKind::DefPushButton;
        }
    }
    return false;
}

/// The frame's document for a panel the proxy no longer has (restarted, or
/// the page is older than the panels kept): shown inside the frame, with a
/// link that reloads the page when the frame's address names it.
PanelReply GonePanel(std::string_view query) {
    std::string html = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"></head><body "
                       "style=\"font: 12px Arial, sans-serif\"><p>This panel is no longer "
                       "shown.</p><p>";
    const std::optional<std::string> page =
        PercentDecode(QueryValue(query, "page").value_or(std::string_view()));
    if (page && (page->starts_with("http://") || page->starts_with("https://"))) {
        html += "<a href=\"" + HtmlEscape(*page) + "\" target=\"_top\">Reload the page</a>";
    } else {
        html += "Reload the page to show it again.";
    }
    // Any page may frame it: it holds nothing and can do nothing.
    return {404,
            "text/html; charset=utf-8",
            html + "</p></body></html>\n",
            {{"Content-Security-Policy",
              "default-src 'none'; style-src 'unsafe-inline'; frame-ancestors *"}}};
}

} // namespace

std::optional<std::string> PanelHost::PutPanelInPage(std::string_view page,
                                                     const std::string& pageUrl,
                                                     std::string_view charset,
                                                     const std::string& frameAncestor,
                                                     const std::string& selfOrigin) {
    const std::optional<ControlObjectSpan> span = FindControlObject(page);
    if (!span) {
        return std::nullopt;
    }
    const std::string path = Register(page, pageUrl, charset, frameAncestor);
    if (path.empty()) {
        return std::nullopt;
    }
    const auto [width, height] = PanelPixels();
    // The page's address rides along, so that a panel gone by the time the
    // frame asks for it can offer to reload the page.
    const std::string src = selfOrigin + path + "?page=" + PercentEncode(pageUrl);
    const std::string frame = "<iframe src=\"" + HtmlEscape(src) + "\" width=\"" +
                              (span->width.empty() ? std::to_string(width) : span->width) +
                              "\" height=\"" +
                              (span->height.empty() ? std::to_string(height) : span->height) +
                              "\" style=\"border:0\" referrerpolicy=\"no-referrer\"></iframe>";
    return ReplaceSpan(page, *span, frame);
}

void PanelHost::Answer(const PanelRequest& request, std::function<void(PanelReply)> done) {
    State& s = *m_state;
    if (!request.clientLoopback) {
        return done(Refused("The panel answers only this machine."));
    }
    const PanelTarget target = SplitTarget(request.target);
    std::shared_ptr<Panel> panel;
    {
        const std::lock_guard lock(s.mutex);
        panel = s.Find(target.id);
        if (panel) {
            panel->asked = std::chrono::steady_clock::now();
        }
    }
    if (!panel) {
        const std::string gone = "No such panel: reload the page that shows it.";
        return done(request.method == "POST" ? Json(404, "{\"message\":" + JsonString(gone) + "}")
                                             : GonePanel(target.query));
    }
    if (target.action.empty() && (request.method == "GET" || request.method == "HEAD")) {
        return s.AnswerDocument(panel, std::move(done));
    }
    if (request.method != "POST") {
        return done({405, "text/plain; charset=utf-8", "The panel takes POST here.\n", {}});
    }
    // Only the panel's own document holds the key, and only its origin
    // sends itself as the Origin of a POST.
    if (request.origin != request.ownOrigin || !SameSecret(request.key, panel->key)) {
        return done(Refused("This request does not come from the panel."));
    }
    if (target.action == "status") {
        const std::lock_guard lock(s.mutex);
        return done(Json(200, s.StatusJson(*panel)));
    }
    if (target.action == "answer") {
        const std::lock_guard lock(s.mutex);
        if (panel->prompt.open) {
            panel->answer = QueryNumber(target.query, "yes") == 1;
            s.answered.notify_all();
        }
        return done(Json(200, s.StatusJson(*panel)));
    }
    if (target.action == "click") {
        return s.AnswerClick(panel, QueryNumber(target.query, "ctl"), std::move(done));
    }
    done({404, "text/plain; charset=utf-8", "No such panel request.\n", {}});
}

void PanelHost::State::AnswerDocument(const std::shared_ptr<Panel>& panel,
                                      std::function<void(PanelReply)> done) {
    bool opened = false;
    bool busy = false;
    {
        const std::lock_guard lock(mutex);
        opened = panel->opened;
        busy = running != nullptr;
    }
    if (opened) {
        return done(Document(*panel));
    }
    // The control is made on the UI thread, after a run that holds it.
    if (busy) {
        // The page's load is not held for the run: the frame says why it
        // waits and asks again, and the control is made once the run ends.
        thread.Post([this, panel] {
            if (!panel->opened) {
                Open(*panel);
            }
        });
        return done(WaitingDocument(*panel));
    }
    thread.Post([this, panel, done = std::move(done)] {
        if (!panel->opened) {
            Open(*panel);
        }
        done(Document(*panel));
    });
}

void PanelHost::State::AnswerClick(const std::shared_ptr<Panel>& panel, int id,
                                   std::function<void(PanelReply)> done) {
    bool synchronize = false;
    {
        const std::lock_guard lock(mutex);
        if (running) {
            return done(
                Json(409, "{\"busy\":true,\"message\":" +
                              JsonString(running == panel ? "The synchronization is still running."
                                                          : "Another panel is synchronizing; wait "
                                                            "until it is done.") +
                              "}"));
        }
        if (panel->dialog == nullptr) {
            return done(Json(409, "{\"message\":\"The panel is not ready.\"}"));
        }
        synchronize = IsDefaultButton(*panel->dialog, id);
        if (synchronize) {
            running = panel;
            progress = {};
        }
    }
    if (synchronize) {
        // The run keeps the UI thread; the page polls its state.
        thread.Post([this, panel, id] { Click(panel, id); });
        const std::lock_guard lock(mutex);
        return done(Json(200, StatusJson(*panel)));
    }
    thread.Post([this, panel, id, done = std::move(done)] {
        Click(panel, id);
        const std::lock_guard lock(mutex);
        done(Json(200, StatusJson(*panel)));
    });
}
