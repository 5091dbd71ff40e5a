// SPDX-License-Identifier: Apache-2.0
#include "host/PanelCommand.h"

#include "control/resources/Strings.h"
#include "host/Commands.h"
#include "host/common/InterruptGuard.h"
#include "host/common/PageControl.h"
#include "host/common/ProtocolChoice.h"
#include "host/common/RunReport.h"
#include "host/terminal/PanelScreen.h"
#include "host/terminal/Terminal.h"
#include "platform/profile/PrivateProfile.h"

#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>

namespace {

const char* const kPrefix = "dravik panel: ";

int ShowPanel(const std::string& page, int connections, bool http2) {
    int status = kExitOk;
    const std::unique_ptr<HostedControl> control = OpenPageControl(page, kPrefix, status);
    if (!control) {
        return status;
    }
    if (FAILED(control->SetConnections(connections))) {
        std::cerr << kPrefix << "the control does not take --connections " << connections << "\n";
        return kExitUsage;
    }
    (void)control->SetHttp2(http2); // a setting the control always takes
    std::optional<PanelScreen::Result> result;
    try {
        Terminal terminal;
        PanelScreen screen(terminal, *control);
        result = screen.Run();
    } catch (const std::runtime_error& e) {
        // The terminal is back as it was: the screen and the terminal have gone.
        std::cerr << kPrefix << e.what() << "\n";
        return kExitUsage;
    }
    if (!result->pressed) {
        return kExitOk;
    }
    return ReportRun(std::cerr, kPrefix, *control, result->cacheFailures,
                     ExitStatusOf(control->LastRun().outcome));
}

} // namespace

int RunPanel(const std::string& page, int connections, bool http2) {
    if (!Terminal::Available()) {
        std::cerr << kPrefix
                  << "standard input and output must be a terminal to show the panel; "
                     "`dravik sync PAGE` synchronizes without one\n";
        return kExitUsage;
    }
    const InterruptGuard guard(kPrefix);
    return WithInternetSession(
        kPrefix, [&page, connections, http2] { return ShowPanel(page, connections, http2); });
}

void AddPanelCommand(CLI::App& app, int& exitCode) {
    auto page = std::make_shared<std::string>();
    auto connections = std::make_shared<int>(1);
    auto http2 = std::make_shared<bool>(false);
    CLI::App* panel = app.add_subcommand(
        "panel", "Show the control's panel in the terminal: the subscriptions of a host page "
                 "with the user's stored choices, to check, uncheck and synchronize.");
    panel->add_option("PAGE", *page, "path or http(s) URL of the host page")->required();
    panel
        ->add_option("--connections", *connections,
                     "connections a crawl may use at once, as for `dravik sync` (default 1)")
        ->check(CLI::Range(1, static_cast<int>(kMaxConnections)))
        ->type_name("N");
    panel->add_flag("--http2", *http2, kHttp2Help);
    panel->footer(
        "Keys: Tab and Shift-Tab (or the arrows) move the focus; Space checks or unchecks the "
        "focused box or presses the focused button; Enter presses Synchronize; a mouse click "
        "clicks what it hits; F4 shows the property page; q or Esc closes without "
        "synchronizing.\n"
        "Synchronize runs as `dravik sync` does: the choices are saved to " +
        GetPrivateProfilePath(kSettingsFileName) +
        ", a window shows the subscription being synchronized and the requests, bytes and URL "
        "of the moment, and a message box ends the run, with what the run leaves to say "
        "under the message; standard error gets that again when the panel closes.\n"
        "The panel needs a terminal of 80 x 24 or more.\n" +
        ExitStatusHelp({0, 1, 2, 3, 4, 5}) +
        " The status is the last run's; standard input or output not a terminal is bad usage.");
    panel->callback([page, connections, http2, &exitCode] {
        exitCode = RunPanel(*page, *connections, *http2);
    });
}
