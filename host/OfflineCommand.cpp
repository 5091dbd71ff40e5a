// SPDX-License-Identifier: Apache-2.0
// `dravik offline on|off|status`: the internet library's work-offline state,
// shared by every process of the user.
#include "host/Commands.h"
#include "host/common/ErrorText.h"
#include "platform/inet/WinInet.h"
#include "platform/kernel/LastError.h"

#include <iostream>
#include <memory>
#include <string>

namespace {

int SetState(DWORD state) {
    INTERNET_CONNECTED_INFO info{
        state, state == INTERNET_STATE_DISCONNECTED_BY_USER ? ISO_FORCE_DISCONNECTED : 0};
    if (!InternetSetOptionW(nullptr, INTERNET_OPTION_CONNECTED_STATE, &info, sizeof info)) {
        std::cerr << "dravik offline: " << DescribeError(GetLastError()) << "\n";
        return kExitCache; // the state is kept with the URL cache
    }
    return kExitOk;
}

int ShowState() {
    DWORD state = 0;
    DWORD length = sizeof state;
    if (!InternetQueryOptionW(nullptr, INTERNET_OPTION_CONNECTED_STATE, &state, &length)) {
        std::cerr << "dravik offline: " << DescribeError(GetLastError()) << "\n";
        return kExitCache; // the state is kept with the URL cache
    }
    std::cout << ((state & INTERNET_STATE_DISCONNECTED_BY_USER) ? "offline" : "online") << "\n";
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
                   : *mode == "on"   ? SetState(INTERNET_STATE_DISCONNECTED_BY_USER)
                                     : SetState(INTERNET_STATE_CONNECTED);
    });
}
