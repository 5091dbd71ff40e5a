// SPDX-License-Identifier: Apache-2.0
#include "host/proxy/FramePolicy.h"

#include "host/proxy/AccessRules.h"
#include "host/proxy/HeaderFields.h"
#include "host/proxy/ProxyTarget.h"

#include <optional>
#include <string>

namespace proxy {

namespace {

struct Origin {
    std::string scheme; // lower case
    std::string host;   // lower case
    unsigned port = 0;
};

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return out;
}

unsigned DefaultPort(std::string_view scheme) {
    return scheme == "https" ? 443 : 80;
}

/// "scheme://host[:port]" (a path after it is ignored).
std::optional<Origin> ParseOrigin(std::string_view text) {
    const std::size_t colon = text.find("://");
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    Origin origin;
    origin.scheme = Lower(text.substr(0, colon));
    std::string_view rest = text.substr(colon + 3);
    rest = rest.substr(0, rest.find('/'));
    const std::optional<Authority> authority = ParseAuthority(rest, DefaultPort(origin.scheme));
    if (!authority) {
        return std::nullopt;
    }
    origin.host = Lower(authority->host);
    origin.port = authority->port;
    return origin;
}

/// Whether the host source `source` (no quotes, not a bare scheme) names
/// `frame`.
bool HostSourceMatches(std::string_view source, const Origin& frame, const Origin& page) {
    std::string scheme;
    if (const std::size_t at = source.find("://"); at != std::string_view::npos) {
        scheme = Lower(source.substr(0, at));
        source.remove_prefix(at + 3);
    }
    source = source.substr(0, source.find('/'));
    std::string_view port;
    // An IPv6 literal keeps its colons inside brackets.
    const std::size_t bracket = source.rfind(']');
    const std::size_t colon = source.rfind(':');
    if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
        port = source.substr(colon + 1);
        source = source.substr(0, colon);
    }
    std::string host = Lower(source);
    if (host.size() > 1 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    const std::string& want = scheme.empty() ? page.scheme : scheme;
    const bool schemeOk = frame.scheme == want || (want == "http" && frame.scheme == "https");
    // A wildcard covers names only, never an address literal.
    const bool hostOk = host == frame.host || (host.starts_with("*.") && !ParseIp(frame.host) &&
                                               frame.host.size() > host.size() - 1 &&
                                               frame.host.ends_with(host.substr(1)));
    const bool portOk = port == "*" || (port.empty() ? frame.port == DefaultPort(frame.scheme)
                                                     : port == std::to_string(frame.port));
    return schemeOk && hostOk && portOk;
}

bool SourceMatches(std::string_view source, const Origin& frame, const Origin& page) {
    const std::string lower = Lower(source);
    if (lower == "*") {
        return true;
    }
    if (lower == "'self'") {
        return frame.scheme == page.scheme && frame.host == page.host && frame.port == page.port;
    }
    if (lower.starts_with('\'')) {
        return false; // 'none', nonces, hashes, keywords: no frame source
    }
    if (lower.back() == ':') {
        return lower.substr(0, lower.size() - 1) == frame.scheme;
    }
    return HostSourceMatches(source, frame, page);
}

/// The source list of `name` in the policy `policy`, if it has the directive.
std::optional<std::string_view> Directive(std::string_view policy, std::string_view name) {
    while (!policy.empty()) {
        const std::size_t semicolon = policy.find(';');
        std::string_view directive = policy.substr(0, semicolon);
        policy.remove_prefix(semicolon == std::string_view::npos ? policy.size() : semicolon + 1);
        while (!directive.empty() && (directive.front() == ' ' || directive.front() == '\t')) {
            directive.remove_prefix(1);
        }
        const std::size_t space = directive.find_first_of(" \t");
        if (NameEquals(directive.substr(0, space), name)) {
            return space == std::string_view::npos ? std::string_view() : directive.substr(space);
        }
    }
    return std::nullopt;
}

bool OnePolicyAllows(std::string_view policy, const Origin& frame, const Origin& page) {
    std::optional<std::string_view> sources;
    for (const std::string_view name : {"frame-src", "child-src", "default-src"}) {
        if ((sources = Directive(policy, name))) {
            break;
        }
    }
    if (!sources) {
        return true;
    }
    std::string_view list = *sources;
    while (!list.empty()) {
        const std::size_t start = list.find_first_not_of(" \t");
        if (start == std::string_view::npos) {
            break;
        }
        list.remove_prefix(start);
        const std::size_t end = list.find_first_of(" \t");
        if (SourceMatches(list.substr(0, end), frame, page)) {
            return true;
        }
        list.remove_prefix(end == std::string_view::npos ? list.size() : end);
    }
    return false;
}

} // namespace

bool PolicyAllowsFrame(const std::vector<std::string_view>& policies, std::string_view frameOrigin,
                       std::string_view pageOrigin) {
    const std::optional<Origin> frame = ParseOrigin(frameOrigin);
    const std::optional<Origin> page = ParseOrigin(pageOrigin);
    if (!frame || !page) {
        return true;
    }
    for (std::string_view field : policies) {
        // One field may hold several policies, separated by commas.
        while (!field.empty()) {
            const std::size_t comma = field.find(',');
            if (!OnePolicyAllows(field.substr(0, comma), *frame, *page)) {
                return false;
            }
            field.remove_prefix(comma == std::string_view::npos ? field.size() : comma + 1);
        }
    }
    return true;
}

} // namespace proxy
