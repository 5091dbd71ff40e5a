// SPDX-License-Identifier: Apache-2.0
// `dravik offline on|off|status`: the internet library's work-offline state,
// shared by every process of the user.
#include "host/Commands.h"
#include "host/common/RunReport.h"
#include "platform/inet/ConnectedState.h"
#include "platform/kernel/LastError.h"

#include <iostream>
#include <memory>
#include <optional>
#include <string>

namespace {

int SetState(bool offline) {
    UrlCacheFailure failure;
    if (!inet::SetOfflineByUser(offline, &failure)) {
        std::cerr << "dravik offline: " << CacheFailureText(failure) << "\n";
        return kExitCache; // the state is kept with the URL cache
    }
    return kExitOk;
}

int ShowState() {
    UrlCacheFailure failure;
    const std::optional<bool> offline = inet::OfflineByUser(failure);
    if (!offline) {
        std::cerr << "dravik offline: " << CacheFailureText(failure) << "\n";
        return kExitCache; // the state is kept with the URL cache
    }
    std::cout << (*offline ? "offline" : "online") << "\n";
    return kExitOk;
}

} // namespace

void AddOfflineCommand(CLI::App& app, int& exitCode) {
    auto mode = std::make_shared<std::string>();
    CLI::App* offline = app.add_subcommand(
        "offline", "Set or show the work-offline state of the internet library. While it is "
                   "on, requests fail at once; `dravik sync` offers to go online first.");
    offline->footer("The state is kept with the URL cache. " + ExitStatusHelp({0, 2, 5}));
    offline->add_option("STATE", *mode, "on, off or status")
        ->required()
        ->check(CLI::IsMember({"on", "off", "status"}));
    offline->callback([mode, &exitCode] {
        exitCode = *mode == "status" ? ShowState()
                   : *mode == "on"   ? SetState(true)
                                     : SetState(false);
    });
}
