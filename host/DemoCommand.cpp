// SPDX-License-Identifier: Apache-2.0
// `dravik demo`: a whole synchronization against the built-in demo site,
// with its own cache, settings and registry in a scratch folder.
#include "host/Commands.h"
#include "host/DemoSite.h"
#include "host/PanelCommand.h"
#include "host/SyncCommand.h"
#include "host/common/InterruptGuard.h"
#include "host/terminal/Terminal.h"
#include "platform/cache/CacheStore.h"
#include "platform/text/Utf8.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

struct DemoOptions {
    bool keep = false;
    bool panel = false;
};

void ShowFile(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::cout << text.str();
}

void ShowCache() {
    const urlcache::CacheResult<std::vector<urlcache::StoredEntry>> entries =
        urlcache::ListEntries();
    if (!entries) {
        std::cout << "  (the cache could not be read)\n";
        return;
    }
    for (const urlcache::StoredEntry& e : *entries) {
        std::cout << "  " << e.url << "  (" << e.size << " bytes)\n";
    }
    std::cout << "  " << entries->size() << " entries\n";
}

int RunDemo(const DemoOptions& options) {
    if (options.panel && !Terminal::Available()) {
        std::cerr << "dravik demo: --panel needs a terminal for standard input and output; "
                     "`dravik demo` runs without one\n";
        return kExitUsage;
    }
    // Before the demo's servers start their threads, which inherit the mask.
    const InterruptGuard guard("dravik demo: ");
    const std::filesystem::path home =
        std::filesystem::temp_directory_path() / ("dravik-demo-" + std::to_string(::getpid()));
    std::filesystem::create_directories(home);
    const InterruptStep scratch([&home, keep = options.keep] {
        if (keep) {
            return "the scratch folder " + home.string() + " is kept";
        }
        std::error_code ignored;
        std::filesystem::remove_all(home, ignored);
        return "the scratch folder " + home.string() + " was removed";
    });
    ::setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1); // the registry, for the bundled module

    const DemoSite site;
    const std::filesystem::path page = home / "demo.html";
    std::ofstream(page) << site.HostPage();
    std::cout << "Demo application engine: " << site.EngineOrigin() << "/orx\n"
              << "Demo content host:       " << site.ContentOrigin() << "\n"
              << "Host page:               " << page.string() << "\n\n";
    int status = kExitOk;
    if (options.panel) {
        std::cout << std::flush;
        status = RunPanel(page.string());
    } else {
        std::cout << "Synchronizing: Home page with linked pages, Articles, outside links "
                     "followed\n";
        SyncOptions sync;
        sync.page = page.string();
        sync.check = {"Articles"};
        sync.links = {"Home"};
        sync.outsideLinks = true;
        status = RunSync(sync);
    }

    std::cout << "\nRequests the servers received (server, status, request):\n";
    for (const std::string& line : site.Requests()) {
        std::cout << "  " << line << "\n";
    }
    std::cout << "\nURL cache (" << (home / "cache" / "dravik").string()
              << "): what came from other hosts\n";
    ShowCache();
    std::cout << "\nSettings file (" << (home / "config" / "dravik" / "dravik.ini").string()
              << "):\n";
    ShowFile(home / "config" / "dravik" / "dravik.ini");
    if (options.keep) {
        std::cout << "\nKept " << home.string() << "\n";
    } else {
        std::filesystem::remove_all(home);
    }
    if (!options.panel) {
        std::cout << "\nNext: `dravik demo --panel` shows this page's panel in the terminal to "
                     "choose and synchronize yourself; `dravik panel PAGE` shows your own.\n";
    }
    return status;
}

} // namespace

void AddDemoCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<DemoOptions>();
    CLI::App* demo = app.add_subcommand(
        "demo", "Run a whole synchronization against a built-in demo: an application engine "
                "answering allowed and disallowed commands, and a second content host, both on "
                "127.0.0.1. Shows every request, the URL cache and the settings written. Uses a "
                "scratch folder for cache, settings and registry, removed afterwards.");
    demo->add_flag("--keep", options->keep, "keep the scratch folder (host page, cache, settings)");
    demo->add_flag("--panel", options->panel,
                   "show the demo page's panel in the terminal instead, to check boxes and press "
                   "Synchronize yourself (`dravik panel --help` lists the keys)");
    demo->callback([options, &exitCode] { exitCode = RunDemo(*options); });
}
