#include "host/proxy/Routing.h"

#include "host/proxy/HeaderFields.h"

namespace proxy {

namespace {

Route Refuse(unsigned status, std::string message) {
    Route route;
    route.status = status;
    route.message = std::move(message);
    return route;
}

Route Act(Action action, ProxyTarget target) {
    Route route;
    route.action = action;
    route.target = std::move(target);
    return route;
}

bool NamesProxy(const Authority& authority, const ListenAddress& self) {
    if (authority.port != self.port) {
        return false;
    }
    const std::optional<IpBytes> host = ParseIp(authority.host);
    const std::optional<IpBytes> listen = ParseIp(self.host);
    const bool listenLoopbackOrAny =
        listen && (IsLoopback(*listen) || self.host == "0.0.0.0" || self.host == "::");
    return (host && listen && *host == *listen) ||
           (listenLoopbackOrAny &&
            (NameEquals(authority.host, "localhost") || (host && IsLoopback(*host))));
}

Route RouteConnect(const RequestLine& request, const Policy& policy) {
    if (request.tunnel != nullptr) {
        return Refuse(400, "A CONNECT inside a CONNECT is not supported.");
    }
    const std::optional<Authority> authority = ParseAuthority(request.target, 0);
    if (!authority) {
        return Refuse(400, "CONNECT needs a host and port, as in CONNECT example.org:443.");
    }
    ProxyTarget target;
    target.secure = true;
    target.authority = *authority;
    target.path = "/";
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

} // namespace

Route RouteRequest(const RequestLine& request, const Policy& policy) {
    if (request.method == "CONNECT") {
        return RouteConnect(request, policy);
    }
    if (request.target.starts_with('/') && request.tunnel == nullptr) {
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
    if (!policy.viaToken.empty() && request.via.find(policy.viaToken) != std::string_view::npos) {
        return Refuse(508, "The request came back to this proxy: it is set up as its own "
                           "upstream proxy (check http_proxy).");
    }
    if (!target->secure && NamesProxy(target->authority, policy.self)) {
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

} // namespace proxy
