// SPDX-License-Identifier: Apache-2.0
#include "host/proxy/Routing.h"

#include "host/proxy/HeaderFields.h"

#include <algorithm>
#include <initializer_list>

namespace proxy {

namespace {

Route Refuse(unsigned status, std::string message) {
    Route route;
    route.status = status;
    route.message = std::move(message);
    return route;
}

std::string Text(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (const std::string_view part : parts) {
        out.append(part);
    }
    return out;
}

Route Act(Action action, ProxyTarget target) {
    Route route;
    route.action = action;
    route.target = std::move(target);
    return route;
}

bool NamesProxy(const Authority& authority, const Policy& policy) {
    const ListenAddress& self = policy.self;
    if (authority.port != self.port) {
        return false;
    }
    const std::optional<IpBytes> host = ParseIp(authority.host);
    const std::optional<IpBytes> listen = ParseIp(self.host);
    const bool listenAny = self.host == "0.0.0.0" || self.host == "::";
    const bool listenLoopbackOrAny = listen && (IsLoopback(*listen) || listenAny);
    const bool ownAddress = listenAny && host && policy.ownAddresses != nullptr &&
                            std::find(policy.ownAddresses->begin(), policy.ownAddresses->end(),
                                      *host) != policy.ownAddresses->end();
    return (host && listen && *host == *listen) || ownAddress ||
           (listenLoopbackOrAny &&
            (NameEquals(authority.host, "localhost") || (host && IsLoopback(*host))));
}

/// The proxy's own pages answer only the names the proxy is reached by: an
/// address literal or localhost, with its port. A page of another site whose
/// name was made to resolve to this machine (DNS rebinding) names its own
/// host and is refused, so it cannot read the cache through the proxy.
bool IsOwnHostName(std::string_view hostHeader, const ListenAddress& self) {
    const std::optional<Authority> host = ParseAuthority(hostHeader, 80);
    if (!host || host->port != self.port) {
        return false;
    }
    return ParseIp(host->host).has_value() || NameEquals(host->host, "localhost");
}

bool MayConnectTo(std::uint16_t port, const Policy& policy) {
    if (port == 443) {
        return true;
    }
    return policy.connectPorts != nullptr &&
           std::find(policy.connectPorts->begin(), policy.connectPorts->end(), port) !=
               policy.connectPorts->end();
}

Route RouteConnect(const RequestLine& request, const Policy& policy) {
    if (request.tunnel != nullptr) {
        return Refuse(400, "A CONNECT inside a CONNECT is not supported.");
    }
    const std::optional<Authority> authority = ParseAuthority(request.target, 0);
    if (!authority) {
        return Refuse(400, "CONNECT needs a host and port, as in CONNECT example.org:443.");
    }
    if (NamesProxy(*authority, policy)) {
        return Refuse(508, "A CONNECT to the proxy itself would loop back into it.");
    }
    ProxyTarget target{true, *authority, std::string(1, '/')};
    if (IsDirect(*policy.direct, *authority)) {
        return Act(Action::Tunnel, std::move(target));
    }
    if (policy.intercept) {
        return Act(Action::Intercept, std::move(target));
    }
    if (policy.offline) {
        return Refuse(504, "The internet library is offline, and https is answered from the "
                           "cache only when the proxy runs with --intercept.");
    }
    // A tunnel carries any protocol: only to the https port unless the
    // user names more, so the proxy cannot be used to reach mail or other
    // services. An intercepted CONNECT carries HTTP the proxy reads itself.
    if (!MayConnectTo(target.authority.port, policy)) {
        return Refuse(403, Text({"CONNECT is answered for port 443 only; run the proxy with "
                                 "--connect-port ",
                                 std::to_string(target.authority.port), " to allow this port."}));
    }
    return Act(Action::Tunnel, std::move(target));
}

/// The target of a request that is not a CONNECT, or a refusal.
std::optional<ProxyTarget> TargetOf(const RequestLine& request, Route& refusal) {
    if (request.target.starts_with('/') && request.tunnel != nullptr) {
        ProxyTarget inner;
        inner.secure = true;
        inner.authority = *request.tunnel;
        inner.path = request.target;
        return inner;
    }
    TargetProblem problem = TargetProblem::None;
    std::optional<ProxyTarget> target = ParseAbsoluteTarget(request.target, problem);
    if (problem == TargetProblem::UnsupportedScheme) {
        refusal = Refuse(501, "Only http and https addresses are forwarded.");
    } else if (!target) {
        refusal = Refuse(400, "The request target is not an http or https URL.");
    } else if (request.tunnel != nullptr &&
               (!target->secure || !SameAuthority(target->authority, *request.tunnel))) {
        refusal = Refuse(400, "The URL names another host than the CONNECT did.");
        target.reset();
    }
    return target;
}

/// The route, before the check that keeps other machines off this one.
Route RouteAny(const RequestLine& request, const Policy& policy) {
    if (request.method == "CONNECT") {
        return RouteConnect(request, policy);
    }
    // Before the own pages: a forwarded request whose address names this
    // machine in a form routing does not know (0.0.0.0, 2130706433, 127.1)
    // arrives back here in origin form with an address literal as its host.
    if (!policy.viaToken.empty() && request.via.find(policy.viaToken) != std::string_view::npos) {
        return Refuse(508, "The request came back to this proxy: it is set up as its own "
                           "upstream proxy (check http_proxy), or its address names this "
                           "machine.");
    }
    if (request.target.starts_with('/') && request.tunnel == nullptr) {
        // A browser always names the host; a request that names none could
        // come from anywhere that reaches the port.
        if (!request.host) {
            return Refuse(400, "A request for the proxy's own pages needs a Host header.");
        }
        if (!IsOwnHostName(*request.host, policy.self)) {
            const std::string port = std::to_string(policy.self.port);
            return Refuse(403,
                          Text({"The proxy's own pages answer only as 127.0.0.1:", port,
                                " or localhost:", port, "; this request named another host."}));
        }
        ProxyTarget page;
        page.path = request.target;
        return Act(Action::OwnPage, std::move(page));
    }
    Route refusal;
    std::optional<ProxyTarget> target = TargetOf(request, refusal);
    if (!target) {
        return refusal;
    }
    if (request.host) {
        const std::optional<Authority> host =
            ParseAuthority(*request.host, target->secure ? 443 : 80);
        if (!host || !SameAuthority(*host, target->authority)) {
            return Refuse(400, "The Host header names another host than the request URL.");
        }
    }
    if (!target->secure && NamesProxy(target->authority, policy)) {
        return Act(Action::OwnPage, std::move(*target));
    }
    if (!target->secure && IsDirect(*policy.direct, target->authority)) {
        return Act(Action::Direct, std::move(*target));
    }
    const bool readOnly = request.method == "GET" || request.method == "HEAD";
    if (policy.offline) {
        return readOnly ? Act(Action::FromCache, std::move(*target))
                        : Refuse(405, "The internet library is offline: only GET and HEAD are "
                                      "answered, from the cache.");
    }
    return Act(Action::Forward, std::move(*target));
}

} // namespace

Route RouteRequest(const RequestLine& request, const Policy& policy) {
    Route route = RouteAny(request, policy);
    if (request.clientLoopback) {
        return route;
    }
    // Other machines reach neither this machine's own services nor what
    // was kept of them, nor the pages that list this user's cache.
    const bool reaches = route.action == Action::Forward || route.action == Action::Direct ||
                         route.action == Action::Tunnel || route.action == Action::Intercept ||
                         route.action == Action::FromCache;
    if (reaches && NamesMachineLocal(route.target.authority.host)) {
        return Refuse(403, "Only a client on this machine may reach its loopback or link-local "
                           "addresses, or their kept copies, through the proxy.");
    }
    const std::string_view page =
        std::string_view(route.target.path)
            .substr(0, std::min(route.target.path.find('?'), route.target.path.size()));
    if (route.action == Action::OwnPage && page != "/proxy.pac") {
        return Refuse(403, "The proxy's index, missed addresses and kept copies answer only this "
                           "machine; other machines may read /proxy.pac.");
    }
    return route;
}

} // namespace proxy
