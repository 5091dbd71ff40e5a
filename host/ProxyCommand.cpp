// SPDX-License-Identifier: Apache-2.0
// `dravik proxy`: serves the URL cache to a browser (see proxy/ProxyServer.h).
#include "host/Commands.h"
#include "host/proxy/ProxyMain.h"

#include <dlfcn.h>

#include <iostream>
#include <memory>

namespace {

int RunProxyModule(const ProxyArguments& arguments) {
    // Found beside the program, as its runtime is (the program's run path).
    void* module = ::dlopen(kProxyModule, RTLD_NOW | RTLD_LOCAL);
    const auto entry =
        module != nullptr ? reinterpret_cast<ProxyEntry>(::dlsym(module, kProxyEntry)) : nullptr;
    if (entry == nullptr) {
        std::cerr << "dravik proxy: cannot load the proxy's module: " << ::dlerror()
                  << "; reinstall dravik\n";
        return kExitFailed;
    }
    return entry(&arguments);
}

} // namespace

void AddProxyCommand(CLI::App& app, int& exitCode) {
    auto a = std::make_shared<ProxyArguments>();
    CLI::App* command = app.add_subcommand(
        "proxy",
        "Serve the URL cache to a browser: an HTTP proxy on loopback. While the internet library "
        "is offline (`dravik offline on`, or --offline) GET and HEAD are answered from the cache "
        "and misses are noted; online, requests are forwarded through the library and what they "
        "fetch is kept. Open http://127.0.0.1:PORT/ for an index of the cache.");
    command
        ->add_option("--listen", a->listen,
                     "ADDRESS:PORT to listen on (port 0: any free one); clients other than "
                     "loopback are answered only with --allow")
        ->default_val("127.0.0.1:8731");
    command
        ->add_option("--direct", a->direct,
                     "HOST or HOST:PORT always forwarded and never cached (the application's "
                     "engine); may be repeated")
        ->type_name("HOST[:PORT]");
    command->add_option("--allow", a->allow, "also answer clients from this network")
        ->type_name("CIDR");
    command->add_flag("--offline", a->offline,
                      "answer from the cache whatever the library's state");
    command->add_flag("--intercept", a->intercept,
                      "answer https from the cache too, with certificates from a local "
                      "authority the browser must trust (see --ca)");
    command
        ->add_option("--connect-port", a->connectPorts,
                     "also let CONNECT reach this port (443 always may); may be repeated")
        ->type_name("PORT")
        ->check(CLI::Range(1, 65535));
    command
        ->add_option("--trust-unverified", a->trustUnverified,
                     "with --intercept, serve this host's kept https copies even when its "
                     "certificate was not verified when they were fetched; may be repeated")
        ->type_name("HOST");
    command->add_flag("--no-store", a->noStore, "do not keep what is forwarded");
    command->add_flag("--ca", a->ca,
                      "print the path of the local authority's certificate (made on first use) "
                      "to import into the browser, and exit");
    command->footer(
        "Files: the local authority lives in $XDG_DATA_HOME/dravik/ca/ (default "
        "~/.local/share/dravik/ca/); its key never leaves that folder.\n"
        "Exit status: 0 stopped by SIGINT or SIGTERM (or --ca printed); 1 the local authority "
        "could not be made; 2 bad usage; 4 the address cannot be listened on.");
    command->callback([a, &exitCode] { exitCode = RunProxyModule(*a); });
}
