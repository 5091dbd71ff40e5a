// SPDX-License-Identifier: Apache-2.0
// The proxy's server as a module of its own (libdravik-proxy.so): Boost.Asio
// and Beast are most of the program's code, and only `dravik proxy` needs
// them, so the program loads them only for that command.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

/// What `dravik proxy` was asked on its command line.
struct ProxyArguments {
    std::string listen = "127.0.0.1:8731";
    std::vector<std::string> direct;
    std::vector<std::string> allow;
    std::vector<std::uint16_t> connectPorts;
    std::vector<std::string> trustUnverified;
    bool offline = false;
    bool intercept = false;
    bool noStore = false;
    bool ca = false;
};

/// The module's file name and its one entry point.
inline constexpr const char* kProxyModule = "libdravik-proxy.so";
inline constexpr const char* kProxyEntry = "DravikRunProxy";

/// Runs the proxy until SIGINT or SIGTERM (ends the process) or prints the
/// local authority's certificate path (--ca); returns the exit status of a
/// failure.
extern "C" int DravikRunProxy(const ProxyArguments* arguments);
using ProxyEntry = int (*)(const ProxyArguments*);
