// SPDX-License-Identifier: Apache-2.0
// `dravik sync PAGE`: the headless front end of the control's panel.
#include "host/SyncCommand.h"

#include "control/resources/ResourceIds.h"
#include "control/resources/Strings.h"
#include "framework/ui/MessageBox.h"
#include "host/Commands.h"
#include "host/common/ControlHost.h"
#include "host/common/InterruptGuard.h"
#include "host/common/PageControl.h"
#include "host/common/ProgressLine.h"
#include "host/common/ProtocolChoice.h"
#include "host/common/RunReport.h"
#include "host/common/SessionListener.h"
#include "platform/inet/GoOnlinePromptScope.h"
#include "platform/inet/WinInet.h"
#include "platform/profile/PrivateProfile.h"
#include "platform/text/Utf8.h"

#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

/// A click the panel refused, or a name it does not show.
struct ClickError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string Text(const CVELString& s) {
    return Utf16ToUtf8(std::u16string_view(s.GetData(), static_cast<std::size_t>(s.GetLength())));
}

/// The first slot with check boxes named `name`.
int FindSlot(HostedControl& control, const std::string& name) {
    const int slot = control.FindSlot(Utf8ToUtf16(name));
    if (slot < 0) {
        throw ClickError("the panel has no subscription named \"" + name + "\"");
    }
    return slot;
}

/// Clicks `box` until its check state is `checked`, as a user would.
void SetBox(CDialog& panel, CButton& box, bool checked, const std::string& what) {
    if ((box.GetCheck() != BST_UNCHECKED) == checked) {
        return;
    }
    const char* reason = !box.IsWindowVisible()   ? "hidden"
                         : !box.IsWindowEnabled() ? "disabled"
                                                  : nullptr;
    if (reason != nullptr || !panel.Click(box.GetDlgCtrlID())) {
        throw ClickError("the " + what + " box cannot be " + (checked ? "checked" : "unchecked") +
                         (reason != nullptr ? std::string(": it is ") + reason : std::string()));
    }
}

void ApplyClicks(HostedControl& control, const SyncOptions& o) {
    CDialog& panel = control.Panel();
    for (const std::string& name : o.uncheck) {
        SetBox(panel, control.SubscriptionBox(FindSlot(control, name)), false, "\"" + name + "\"");
    }
    for (const std::string& name : o.check) {
        SetBox(panel, control.SubscriptionBox(FindSlot(control, name)), true, "\"" + name + "\"");
    }
    for (const std::string& name : o.noLinks) {
        SetBox(panel, control.IncludeLinksBox(FindSlot(control, name)), false,
               "include-links of \"" + name + "\"");
    }
    for (const std::string& name : o.links) {
        SetBox(panel, control.IncludeLinksBox(FindSlot(control, name)), true,
               "include-links of \"" + name + "\"");
    }
    if (o.outsideLinks || o.noOutsideLinks) {
        SetBox(panel, control.Box(IDC_FOLLOW_OUTSIDE_LINKS), o.outsideLinks,
               "follow-outside-links");
    }
}

int Fail(int status, const std::string& message) {
    std::cerr << "dravik sync: " << message << "\n";
    return status;
}

/// Runs the panel with the front end's observers in place.
int Press(HostedControl& control, bool yes, ProgressLine& line) {
    ScopedWindowObserver progress([&line](const CWnd& window, WindowChange change) {
        if (window.GetDlgCtrlID() == IDC_PROGRESS_TEXT && change == WindowChange::Text) {
            line.Subscription(Text(window.GetWindowText()));
        }
    });
    ScopedMessageBoxSink boxes([&line](const MessageBoxRequest& box) {
        line.Clear();
        std::cout << Utf16ToUtf8(box.caption) << ": " << Utf16ToUtf8(box.text) << std::endl;
        return IDOK;
    });
    const GoOnlinePromptScope prompt([yes, &line](const char16_t*) {
        line.Clear();
        if (!yes) {
            std::cerr << "dravik sync: the internet library is set to work offline; "
                         "run with --yes to go online\n";
        }
        return yes;
    });
    SessionListener listener(control.InternetSession(), &line);
    control.Panel().Click(IDC_SYNCHRONIZE);
    line.Clear();
    return ReportRun(std::cerr, "dravik sync: ", control, listener.CacheFailures(),
                     ExitStatusOf(control.LastRun().outcome));
}

int RunWithSession(const SyncOptions& options) {
    int status = kExitOk;
    const std::unique_ptr<HostedControl> control =
        OpenPageControl(options.page, "dravik sync: ", status);
    if (!control) {
        return status;
    }
    try {
        ApplyClicks(*control, options);
    } catch (const ClickError& e) {
        return Fail(kExitUsage, std::string(e.what()) + "; nothing was changed");
    }
    if (FAILED(control->SetConnections(options.connections))) {
        return Fail(kExitUsage, "the control does not take --connections " +
                                    std::to_string(options.connections));
    }
    (void)control->SetHttp2(options.http2); // a setting the control always takes
    ProgressLine line(ProgressLine::ModeFor(options.quiet, options.verbose));
    return Press(*control, options.yes, line);
}

} // namespace

int RunSync(const SyncOptions& options) {
    const InterruptGuard guard("dravik sync: ");
    return WithInternetSession("dravik sync: ", [&options] { return RunWithSession(options); });
}

void AddSyncCommand(CLI::App& app, int& exitCode) {
    auto o = std::make_shared<SyncOptions>();
    CLI::App* sync = app.add_subcommand(
        "sync", "Synchronize from a host page: read the <object> element of the control and its "
                "<param> values, show the panel with the user's stored choices, apply the clicks "
                "given as options, and press Synchronize.");
    sync->add_option("PAGE", o->page, "path or http(s) URL of the host page")->required();
    sync->add_option("--check", o->check, "select the subscription NAME")->type_name("NAME");
    sync->add_option("--uncheck", o->uncheck, "leave out the subscription NAME")->type_name("NAME");
    sync->add_option("--links", o->links, "include the links of NAME")->type_name("NAME");
    sync->add_option("--no-links", o->noLinks, "do not include the links of NAME")
        ->type_name("NAME");
    auto* on = sync->add_flag("--outside-links", o->outsideLinks, "follow links to other hosts");
    auto* off = sync->add_flag("--no-outside-links", o->noOutsideLinks,
                               "do not follow links to other hosts");
    on->excludes(off);
    sync->add_option("--connections", o->connections,
                     "requests a crawl may have under way at once, the walk's own included: with "
                     "more than one, images, style sheets and scripts on other hosts are fetched "
                     "side by side, and pages on other hosts the walk will follow are fetched "
                     "ahead of it and read at once, while the pages are walked and judged in "
                     "order; only hosts that answered without setting a cookie get requests "
                     "early, so each carries the cookies of walk order, except requests going side "
                     "by side with the early response in which a host first sets one (default 1)")
        ->check(CLI::Range(1, static_cast<int>(kMaxConnections)))
        ->type_name("N");
    sync->add_flag("--http2", o->http2, kHttp2Help);
    sync->add_flag("-y,--yes", o->yes, "go online without asking when the library is offline");
    auto* quiet = sync->add_flag("-q,--quiet", o->quiet, "show no progress");
    sync->add_flag("-v,--verbose", o->verbose, "show each request with its status as it ends")
        ->excludes(quiet);
    sync->footer(
        "Files: the user's choices are kept in " + GetPrivateProfilePath(kSettingsFileName) +
        "; what is fetched from other hosts goes to the URL cache in "
        "$XDG_CACHE_HOME/dravik/ (default ~/.cache/dravik/).\n"
        "Progress: on a terminal one line on standard error shows the subscription, "
        "the requests, the bytes and the URL being fetched; elsewhere each "
        "subscription's message is a line. After the messages, standard error says "
        "why a subscription failed and what could not be saved or cached.\n" +
        ExitStatusHelp({0, 1, 2, 3, 4, 5}) + " A click the panel does not allow is bad usage.");
    sync->callback([o, &exitCode] { exitCode = RunSync(*o); });
}
