// The `dravik` command: a thin front end over the core library.
#include <CLI/CLI.hpp>

#include <iostream>

int main(int argc, char** argv) {
    CLI::App app{"dravik - synchronizes the content of a web application for offline use.\n"
                 "A host page configures the subscriptions; dravik crawls each selected\n"
                 "subscription and keeps what it fetched from other hosts in its URL cache."};
    app.set_version_flag("--version", std::string("dravik ") + DRAVIK_VERSION);
    app.require_subcommand(0);
    CLI11_PARSE(app, argc, argv);
    if (argc == 1) {
        std::cout << app.help();
    }
    return 0;
}
