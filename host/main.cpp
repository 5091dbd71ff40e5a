// The `dravik` command: a thin front end over the core library.
#include "host/Commands.h"

#include <CLI/CLI.hpp>

#include <iostream>

int main(int argc, char** argv) {
    CLI::App app{"dravik - synchronizes the content of a web application for offline use.\n"
                 "A host page configures the subscriptions; dravik crawls each selected\n"
                 "subscription and keeps what it fetched from other hosts in its URL cache."};
    app.set_version_flag("--version", std::string("dravik ") + DRAVIK_VERSION);
    int exitCode = kExitOk;
    AddFetchCommand(app, exitCode);
    AddOfflineCommand(app, exitCode);
    AddCacheCommand(app, exitCode);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        return status == 0 ? kExitOk : kExitUsage;
    }
    if (app.get_subcommands().empty()) {
        std::cout << app.help();
    }
    return exitCode;
}
