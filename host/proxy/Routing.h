// SPDX-License-Identifier: Apache-2.0
// What the proxy does with one request, decided from the request line,
// the Host and Via headers, the --direct hosts and the offline state.
// The rules live here, apart from the server, so that each is one line.
#pragma once

#include "host/proxy/AccessRules.h"
#include "host/proxy/ProxyTarget.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace proxy {

enum class Action {
    OwnPage,   // the proxy's own pages; `target.path` names the page
    Direct,    // relay to a --direct host, whatever the state
    FromCache, // offline: the cached copy, or a noted miss
    Forward,   // online: through the internet library (any method)
    Tunnel,    // CONNECT: bytes both ways
    Intercept, // CONNECT: TLS ends here (--intercept)
    Refuse,    // answer `status` with `message`
};

struct Route {
    Action action = Action::Refuse;
    ProxyTarget target;
    unsigned status = 0;
    std::string message;
};

struct RequestLine {
    std::string_view method;
    std::string_view target;
    std::optional<std::string_view> host; // the Host header, when sent
    std::string_view via;                 // every Via value, joined
    /// Inside an intercepted CONNECT: the host and port it named.
    const Authority* tunnel = nullptr;
    /// The client connected from this machine (a loopback address).
    bool clientLoopback = true;
};

struct Policy {
    const std::vector<DirectHost>* direct = nullptr;
    ListenAddress self;   // where the proxy listens
    std::string viaToken; // this proxy's name in Via headers
    bool offline = false;
    bool intercept = false;
    /// Ports a CONNECT may name besides 443 (--connect-port).
    const std::vector<std::uint16_t>* connectPorts = nullptr;
    /// This machine's own addresses, at which a proxy listening on every
    /// address is reached too.
    const std::vector<IpBytes>* ownAddresses = nullptr;
};

Route RouteRequest(const RequestLine& request, const Policy& policy);

} // namespace proxy
