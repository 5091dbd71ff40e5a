// SPDX-License-Identifier: Apache-2.0
// The `dravik` command: a thin front end over the core library.
#include "host/Commands.h"
#include "host/HelpFormatter.h"
#include "host/common/LoadFailure.h"
#include "platform/kernel/FaultInjection.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>
#include <stdexcept>

namespace {

int Run(int argc, char** argv) {
    CLI::App app{"dravik - synchronizes the content of a web application for offline use.\n"
                 "A host page configures the subscriptions; dravik crawls each selected\n"
                 "subscription and keeps what it fetched from other hosts in its URL cache."};
    // Set before the subcommands, which take them over.
    app.formatter(std::make_shared<CWrappingFormatter>());
    app.failure_message(ParseFailureMessage);
    app.set_version_flag("--version", VersionText());
    int exitCode = kExitOk;
    AddFetchCommand(app, exitCode);
    AddOfflineCommand(app, exitCode);
    AddCacheCommand(app, exitCode);
    AddCacheEntryCommands(*app.get_subcommand("cache"), exitCode);
    AddSyncCommand(app, exitCode);
    AddPanelCommand(app, exitCode);
    AddNamesCommand(app, exitCode);
    AddSnippetCommand(app, exitCode);
    AddDemoCommand(app, exitCode);
    AddProxyCommand(app, exitCode);
    AddRegisterCommands(app, exitCode);
    AddInfoCommand(app, exitCode);
    // Set after the subcommands, so that they do not inherit it.
    app.footer(
        std::string("Files: the user's choices on the panel are kept in "
                    "$XDG_CONFIG_HOME/dravik/dravik.ini (default ~/.config/dravik/dravik.ini), "
                    "one section per user; what a synchronization fetches from other hosts "
                    "goes to the URL cache in $XDG_CACHE_HOME/dravik/ (default "
                    "~/.cache/dravik/); the control's registration goes to "
                    "$XDG_DATA_HOME/dravik/registry.sqlite (default ~/.local/share/dravik/).\n") +
        ExitStatusHelp({0, 1, 2, 3, 4, 5, 70}) + "\nStart with `dravik demo`.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        return status == 0 ? kExitOk : kExitUsage;
    }
    if (app.get_subcommands().empty()) {
        std::cerr << WrapHelpText("usage: dravik COMMAND [OPTIONS]\n"
                                  "commands: demo, panel PAGE, sync PAGE, names PAGE, snippet, "
                                  "fetch URL, proxy, cache list|show|remove|clear|missed, "
                                  "offline on|off|status, register, unregister, info\n"
                                  "`dravik --help` explains them; start with `dravik demo`.\n",
                                  CWrappingFormatter::kWidth);
        return kExitUsage;
    }
    if (FaultInjected("Uncaught")) {
        throw std::runtime_error("a fault nothing catches");
    }
    return exitCode;
}

} // namespace

int main(int argc, char** argv) {
    InstallLoadFailureHandler();
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "dravik: " << e.what() << "\n";
    } catch (...) {
        // A foundation type that could not grow: nothing more can be done.
        std::cerr << "dravik: out of memory\n";
    }
    // Not 1: scripts read that as a subscription that failed.
    return kExitInternal;
}
