// `dravik proxy`: serves the URL cache to a browser (see proxy/ProxyServer.h).
#include "host/Commands.h"
#include "host/proxy/LocalAuthority.h"
#include "host/proxy/ProxyServer.h"
#include "platform/cache/RetrievalCounts.h"
#include "platform/cache/UrlCacheStore.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

struct ProxyArguments {
    std::string listen = "127.0.0.1:8118";
    std::vector<std::string> direct;
    std::vector<std::string> allow;
    bool offline = false;
    bool intercept = false;
    bool noStore = false;
    bool ca = false;
};

int Fail(int status, const std::string& message) {
    std::cerr << "dravik proxy: " << message << "\n";
    return status;
}

/// The options as the server takes them, or the exit status of bad usage.
int ReadOptions(const ProxyArguments& a, proxy::ProxyOptions& options) {
    const auto listen = proxy::ParseListenAddress(a.listen);
    if (!listen) {
        return Fail(kExitUsage,
                    "--listen takes ADDRESS:PORT, as in 127.0.0.1:8118 (not \"" + a.listen + "\")");
    }
    options.listen = *listen;
    for (const std::string& text : a.direct) {
        const auto direct = proxy::ParseDirectHost(text);
        if (!direct) {
            return Fail(kExitUsage, "--direct takes HOST or HOST:PORT (not \"" + text + "\")");
        }
        options.direct.push_back(*direct);
    }
    for (const std::string& text : a.allow) {
        const auto network = proxy::ParseNetwork(text);
        if (!network) {
            return Fail(kExitUsage,
                        "--allow takes an address or ADDRESS/BITS, as in 192.168.1.0/24 (not \"" +
                            text + "\")");
        }
        options.allow.push_back(*network);
    }
    options.offline = a.offline;
    options.intercept = a.intercept;
    options.noStore = a.noStore;
    options.authorityFolder = proxy::LocalAuthority::DefaultFolder();
    return kExitOk;
}

int PrintAuthority() {
    std::string error;
    const std::string folder = proxy::LocalAuthority::DefaultFolder();
    if (!proxy::LocalAuthority::Open(folder, error)) {
        return Fail(kExitFailed, error);
    }
    std::cout << proxy::LocalAuthority::CertificatePath(folder) << "\n";
    return kExitOk;
}

int RunProxy(const ProxyArguments& arguments) {
    if (arguments.ca) {
        return PrintAuthority();
    }
    proxy::ProxyOptions options;
    if (const int status = ReadOptions(arguments, options)) {
        return status;
    }
    // Every thread the server starts inherits this mask, so the signals
    // reach the sigwait below and nothing else.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    std::string error;
    const std::unique_ptr<proxy::ProxyServer> server = proxy::ProxyServer::Start(options, error);
    if (!server) {
        return Fail(kExitTransport, error);
    }
    std::cout << "dravik proxy: listening on http://"
              << (options.listen.host.find(':') != std::string::npos
                      ? "[" + options.listen.host + "]"
                      : options.listen.host)
              << ":" << server->Port() << std::endl;
    const auto address = proxy::ParseIp(options.listen.host);
    if (options.allow.empty() && address && !proxy::IsLoopback(*address)) {
        std::cout << "dravik proxy: only clients on this machine's loopback are answered; "
                     "--allow CIDR admits a network"
                  << std::endl;
    }
    int received = 0;
    sigwait(&stop, &received);
    // Only the hits and entries of the last moments wait to be written. The cache and
    // the list of misses are written as they change, and a download cut off
    // here is swept away the next time the cache opens. Leaving at once
    // spares a wait on requests stuck in the network.
    urlcache::FlushStreamHits();
    urlcache::CommitBatchedEntries();
    std::cout << "dravik proxy: stopped" << std::endl;
    std::_Exit(kExitOk);
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
        ->default_val("127.0.0.1:8118");
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
    command->add_flag("--no-store", a->noStore, "do not keep what is forwarded");
    command->add_flag("--ca", a->ca,
                      "print the path of the local authority's certificate (made on first use) "
                      "to import into the browser, and exit");
    command->footer(
        "Files: the local authority lives in $XDG_DATA_HOME/dravik/ca/ (default "
        "~/.local/share/dravik/ca/); its key never leaves that folder.\n"
        "Exit status: 0 stopped by SIGINT or SIGTERM (or --ca printed); 1 the local authority "
        "could not be made; 2 bad usage; 4 the address cannot be listened on.");
    command->callback([a, &exitCode] { exitCode = RunProxy(*a); });
}
