// SPDX-License-Identifier: Apache-2.0
// The control hosted for panels drawn in browser pages.
//
// The proxy registers a panel for each host page it passes (Register); the
// page's iframe then loads the panel document, and the panel's script posts
// clicks and polls the state of a run (Answer). Each panel has its own
// control, created from the page's <object> and <param> values as the
// browser received them, through the registry and the module as `sync` and
// `panel` do it.
//
// The UI model lives on one thread, so every control of every panel lives
// on one thread of ours: creation, clicks and runs are queued to it. A run
// keeps that thread until it ends (it is the click's own handler), so what
// the run shows (the progress window, its live line of requests, bytes and
// URL, the final message box, the prompt to go online) is recorded as it
// happens and read by the polls without touching the model. One run at a
// time: a click that arrives while one runs is refused with a message and
// starts nothing.
//
// A run outlives the page: closing the page leaves it to end on this
// thread as it would with the page open (the settings were saved when it
// started; the URL cache commits as it goes), and a prompt that nobody
// answers within two minutes is answered No. Past kMaxPanels, panels are
// forgotten (their controls released) oldest first, but only those nobody
// asked about for kIdleAfter: an open panel asks every half minute, so no
// other page's requests can push it out. Past kMaxLivePanels even those go;
// the one that runs never does.
//
// Every request but the panel document itself must carry the panel's key,
// which only that document holds, and come with the Origin of the proxy's
// own pages as the browser reached them; every request must come from this
// machine's loopback. Anything else is answered 403 and does nothing.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

/// One request under /panel/, as the proxy read it.
struct PanelRequest {
    std::string method;    ///< "GET" or "POST"
    std::string target;    ///< path and query, "/panel/ID/click?ctl=205"
    std::string origin;    ///< the Origin header; empty when none
    std::string key;       ///< the X-Dravik-Key header; empty when none
    std::string ownOrigin; ///< "http://" and the Host the proxy was reached by
    bool clientLoopback = false;
};

/// What to answer.
struct PanelReply {
    unsigned status = 200;
    std::string contentType;
    std::string body;
    /// Extra header fields (name, value), for the document's policy.
    std::vector<std::pair<std::string, std::string>> fields;
};

class PanelHost {
  public:
    static constexpr std::size_t kMaxPanels = 16;
    static constexpr std::size_t kMaxLivePanels = 256;
    static constexpr std::chrono::seconds kIdleAfter{120};

    /// The one host of the process, started when first used.
    static PanelHost& Instance();

    /// Registers a panel for the host page `page` (its bytes as received,
    /// fetched from `pageUrl` with the Content-Type charset `charset`, ""
    /// for none, framed by pages of `frameAncestor`, an origin). Its
    /// document's path ("/panel/ID"), or empty when the page's object cannot
    /// be read.
    std::string Register(std::string_view page, const std::string& pageUrl,
                         std::string_view charset, const std::string& frameAncestor);

    /// The host page `page` with its control's <object> replaced by an
    /// iframe that shows a new panel, served from `selfOrigin`; nothing when
    /// the page holds no such object or it cannot be read.
    std::optional<std::string> PutPanelInPage(std::string_view page, const std::string& pageUrl,
                                              std::string_view charset,
                                              const std::string& frameAncestor,
                                              const std::string& selfOrigin);

    /// Answers `request`; `done` is called once, on any thread.
    void Answer(const PanelRequest& request, std::function<void(PanelReply)> done);

    /// True for a path the host answers.
    static bool Handles(std::string_view target);

    ~PanelHost();
    PanelHost(const PanelHost&) = delete;
    PanelHost& operator=(const PanelHost&) = delete;

  private:
    PanelHost();
    struct State;
    std::unique_ptr<State> m_state;
};
