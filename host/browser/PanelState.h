// SPDX-License-Identifier: Apache-2.0
// The inside of PanelHost: the panels, the state a run shows, and the one
// thread the controls live on. Only the host's own files include this.
#pragma once

#include "host/browser/PanelHost.h"
#include "host/browser/TaskThread.h"
#include "host/common/ControlHost.h"
#include "host/common/HostPage.h"
#include "host/common/ProgressLine.h"

#include "framework/ui/DialogTemplate.h"

#include <chrono>
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class CWnd;
class SessionListener;
enum class WindowChange;
struct MessageBoxRequest;

namespace browser {

/// A box or prompt as the page shows it; `seq` grows with each new one.
struct Shown {
    int seq = 0;
    bool open = false;
    std::string caption;
    std::string text;
    std::string notes;
    std::string icon;
};

struct Panel {
    std::string id;
    std::string key;
    std::string frameAncestor;
    HostPageResult page;
    std::unique_ptr<HostedControl> control; // the UI thread's alone

    // Under State::mutex.
    bool opened = false;
    bool forgotten = false;                      // past kMaxPanels: its control is not made again
    std::chrono::steady_clock::time_point asked; // made, or last asked about by its page
    const DialogTemplate* dialog = nullptr;      // the panel's template, once it is shown
    std::string error;
    std::string controls;
    int width = 0;
    int height = 0;
    Shown box;
    Shown prompt;
    std::optional<bool> answer;
};

/// What the run shows of its progress window.
struct ProgressView {
    bool shown = false;
    std::string caption;
    std::string controls;
    int width = 0;
    int height = 0;
    std::string font; ///< the template's font, as CSS
};

} // namespace browser

struct PanelHost::State {
    std::mutex mutex;
    std::condition_variable answered;
    std::list<std::shared_ptr<browser::Panel>> panels; // oldest first
    std::shared_ptr<browser::Panel> running;           // the panel whose run holds the thread
    browser::ProgressView progress;
    ProgressCounts counts;

    // The UI thread's alone.
    browser::Panel* clicking = nullptr;
    SessionListener* listener = nullptr;

    TaskThread thread{[this] { return Install(); }};

    std::function<void()> Install();
    std::shared_ptr<browser::Panel> Find(std::string_view id);
    /// Takes out the panels past the limits; their controls are the
    /// caller's to release on the UI thread.
    std::vector<std::shared_ptr<browser::Panel>> Prune();
    void Open(browser::Panel& panel);
    void Click(const std::shared_ptr<browser::Panel>& panel, int id);
    void Render(browser::Panel& panel);
    void OnWindowChange(const CWnd& window, WindowChange change);
    int OnMessageBox(const MessageBoxRequest& request);
    bool AskGoOnline(const char16_t* url);
    std::string StatusJson(const browser::Panel& panel);
    PanelReply Document(const browser::Panel& panel);
    /// The frame's document while a run holds the UI thread: it says so
    /// and asks again in a moment.
    static PanelReply WaitingDocument(const browser::Panel& panel);
    void AnswerDocument(const std::shared_ptr<browser::Panel>& panel,
                        std::function<void(PanelReply)> done);
    void AnswerClick(const std::shared_ptr<browser::Panel>& panel, int id,
                     std::function<void(PanelReply)> done);
};
