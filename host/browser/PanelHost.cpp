// SPDX-License-Identifier: Apache-2.0
#include "host/browser/PanelState.h"
#include "host/common/GoOnlinePrompt.h"

#include "control/resources/ResourceIds.h"
#include "framework/ui/Dialog.h"
#include "framework/ui/MessageBox.h"
#include "framework/ui/Window.h"
#include "host/browser/DialogHtml.h"
#include "host/browser/TaskThread.h"
#include "host/common/ControlHost.h"
#include "host/common/HostPage.h"
#include "host/common/ProgressLine.h"
#include "host/common/RunReport.h"
#include "host/common/SessionListener.h"
#include "platform/inet/WinInet.h"
#include "platform/text/Utf8.h"

#include <chrono>
#include <condition_variable>
#include <list>
#include <mutex>
#include <optional>
#include <sstream>

using browser::Panel;

namespace {

/// A prompt nobody answers (the page was closed) is answered No after this.
constexpr auto kPromptWait = std::chrono::minutes(2);

std::string Utf8(const CVELString& text) {
    return Utf16ToUtf8(
        std::u16string_view(text.GetData(), static_cast<std::size_t>(text.GetLength())));
}

const char* IconGlyph(UINT type) {
    switch (type & MB_ICONMASK) {
    case MB_ICONHAND:
        return "\xE2\x9C\x96"; // heavy multiplication x
    case MB_ICONQUESTION:
        return "?";
    case MB_ICONEXCLAMATION:
        return "!";
    case MB_ICONASTERISK:
        return "i";
    default:
        return "";
    }
}

} // namespace

std::function<void()> PanelHost::State::Install() {
    WindowObserver observer = SetWindowObserver(
        [this](const CWnd& window, WindowChange change) { OnWindowChange(window, change); });
    MessageBoxSink sink = SetMessageBoxSink(
        [this](const MessageBoxRequest& request) { return OnMessageBox(request); });
    SetGoOnlinePrompt([this](const char16_t* url) { return AskGoOnline(url); });
    return [observer = std::move(observer), sink = std::move(sink)]() mutable {
        SetGoOnlinePrompt({});
        SetMessageBoxSink(std::move(sink));
        SetWindowObserver(std::move(observer));
    };
}

std::shared_ptr<Panel> PanelHost::State::Find(std::string_view id) {
    for (const std::shared_ptr<Panel>& panel : panels) {
        if (panel->id == id) {
            return panel;
        }
    }
    return nullptr;
}

void PanelHost::State::Open(Panel& panel) {
    {
        const std::lock_guard lock(mutex);
        if (panel.forgotten) {
            panel.opened = true;
            panel.error = "This panel is no longer shown: reload the page.";
            return;
        }
    }
    HostedControl::Failure failure;
    std::unique_ptr<HostedControl> control =
        HostedControl::Create(panel.page.classId, panel.page.params, failure);
    std::string error;
    if (!control) {
        error = "The control cannot be shown: " + failure.message;
    } else if (control->EngineAddress().empty()) {
        error = "The page gives no engine address: Info.ORXPath must name the application "
                "engine's URL.";
        control.reset();
    }
    panel.control = std::move(control);
    const std::lock_guard lock(mutex);
    panel.opened = true;
    panel.error = error;
    if (panel.control) {
        Render(panel);
    }
}

void PanelHost::State::Render(Panel& panel) {
    CDialog& dialog = panel.control->Panel();
    panel.dialog = dialog.GetTemplate();
    const DialogScale scale = DialogScale::Of(*dialog.GetTemplate());
    panel.controls = DialogControlsHtml(dialog);
    panel.width = scale.X(dialog.GetTemplate()->width);
    panel.height = scale.Y(dialog.GetTemplate()->height);
}

void PanelHost::State::Click(const std::shared_ptr<Panel>& panel, int id) {
    if (panel->control) {
        {
            const std::lock_guard lock(mutex);
            counts = {};
        }
        ProgressLine line([this](const ProgressCounts& now) {
            const std::lock_guard lock(mutex);
            counts = now;
        });
        SessionListener session(panel->control->InternetSession(), &line);
        clicking = panel.get();
        listener = &session;
        panel->control->Panel().Click(id);
        listener = nullptr;
        clicking = nullptr;
    }
    const std::lock_guard lock(mutex);
    if (panel->control) {
        Render(*panel);
    }
    progress = {};
    if (running == panel) {
        running.reset();
    }
}

void PanelHost::State::OnWindowChange(const CWnd& window, WindowChange change) {
    auto* dialog = dynamic_cast<CDialog*>(const_cast<CWnd*>(&window));
    if (dialog == nullptr) {
        dialog = window.GetParentDialog();
    }
    if (dialog == nullptr || dialog->GetTemplateId() != IDD_SYNCH_PROGRESS) {
        return;
    }
    const std::lock_guard lock(mutex);
    if (change == WindowChange::Destroyed || !dialog->IsWindow()) {
        progress = {};
        return;
    }
    const DialogScale scale = DialogScale::Of(*dialog->GetTemplate());
    progress.shown = dialog->IsWindowVisible() != FALSE;
    progress.caption = Utf8(dialog->GetWindowText());
    progress.controls = DialogControlsHtml(*dialog);
    progress.width = scale.X(dialog->GetTemplate()->width);
    progress.height = scale.Y(dialog->GetTemplate()->height);
    progress.font = DialogFontCss(*dialog->GetTemplate());
}

int PanelHost::State::OnMessageBox(const MessageBoxRequest& request) {
    // Under the configured message, what the run leaves to say, as the
    // terminal panel shows it.
    std::string notes;
    if (listener != nullptr && clicking != nullptr && clicking->control) {
        std::ostringstream report;
        ReportRun(report, "", *clicking->control, listener->CacheFailures(), 0);
        notes = report.str();
        while (!notes.empty() && notes.back() == '\n') {
            notes.pop_back();
        }
    }
    if (clicking != nullptr) {
        const std::lock_guard lock(mutex);
        browser::Shown& box = clicking->box;
        box = {box.seq + 1,
               true,
               Utf16ToUtf8(request.caption),
               Utf16ToUtf8(request.text),
               notes,
               IconGlyph(request.type)};
    }
    // The page shows the box with OK alone; the control asks nothing else
    // in a box, and a question it might ask is answered No.
    return (request.type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
}

bool PanelHost::State::AskGoOnline(const char16_t* url) {
    if (clicking == nullptr) {
        return false;
    }
    std::unique_lock lock(mutex);
    Panel& panel = *clicking;
    panel.answer.reset();
    panel.prompt = {panel.prompt.seq + 1,
                    true,
                    kGoOnlineCaption,
                    GoOnlineQuestion(Utf16ToUtf8(url != nullptr ? url : u"")),
                    "",
                    "?"};
    answered.wait_for(lock, kPromptWait, [&panel] { return panel.answer.has_value(); });
    panel.prompt.open = false;
    return panel.answer.value_or(false);
}
