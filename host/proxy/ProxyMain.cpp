// SPDX-License-Identifier: Apache-2.0
// `dravik proxy`'s server, loaded by the command (see ProxyMain.h).
#include "host/proxy/ProxyMain.h"

#include "host/common/ExitStatus.h"
#include "host/common/RunReport.h"
#include "host/proxy/LocalAuthority.h"
#include "host/proxy/ProxyLibraries.h"
#include "host/proxy/ProxyServer.h"
#include "platform/cache/MissedUrls.h"
#include "platform/cache/RetrievalCounts.h"
#include "platform/cache/UrlCacheStore.h"
#include "platform/kernel/DescriptorLimit.h"

#include <pthread.h>

#include <csignal>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <string>

namespace {

int Fail(int status, const std::string& message) {
    std::cerr << "dravik proxy: " << message << "\n";
    return status;
}

/// The options as the server takes them, or the exit status of bad usage.
int ReadOptions(const ProxyArguments& a, proxy::ProxyOptions& options) {
    const auto listen = proxy::ParseListenAddress(a.listen);
    if (!listen) {
        return Fail(kExitUsage,
                    "--listen takes ADDRESS:PORT, as in 127.0.0.1:8731 (not \"" + a.listen + "\")");
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
    for (const std::string& text : a.trustUnverified) {
        const auto host = proxy::ParseAuthority(text, 443);
        if (!host) {
            return Fail(kExitUsage, "--trust-unverified takes a host name (not \"" + text + "\")");
        }
        options.trustUnverified.push_back(host->host);
    }
    options.connectPorts = a.connectPorts;
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
    // Each connection holds a descriptor, a tunnel two: the hard limit, not
    // the customary soft 1024, is what the proxy may use.
    kernel::RaiseDescriptorLimit();
    std::string error;
    if (int status = kExitOk; !proxy::LoadProxyLibraries(error, status)) {
        return Fail(status, error);
    }
    // Every thread the server starts inherits this mask, so the signals
    // reach the sigwait below and nothing else.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
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
    // Only the hits, entries and misses of the last moments wait to be
    // written; a download cut off here is swept away the next time the
    // cache opens. Leaving at once spares a wait on requests stuck in the
    // network.
    // Hits and misses that cannot be written are counts, not content: they
    // are let go. Responses that cannot be kept are said.
    static_cast<void>(urlcache::FlushStoredHits());
    UrlCacheFailure failure;
    if (!urlcache::EndEntryBatches(&failure)) {
        std::cerr << "dravik proxy: the URL cache could not keep the last responses: "
                  << CacheFailureText(failure) << std::endl;
    }
    static_cast<void>(urlcache::FlushMissedUrls());
    std::cout << "dravik proxy: stopped" << std::endl;
    std::_Exit(kExitOk);
}

} // namespace

extern "C" __attribute__((visibility("default"))) int
DravikRunProxy(const ProxyArguments* arguments) {
    try {
        return RunProxy(*arguments);
    } catch (const std::exception& e) {
        return Fail(kExitFailed, e.what());
    }
}
