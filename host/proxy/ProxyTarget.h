// SPDX-License-Identifier: Apache-2.0
// The address a proxy request names: the absolute-form target of a plain
// request ("http://host:port/path?query"), the authority of a CONNECT
// ("host:port"), and the Host header that must agree with them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace proxy {

struct Authority {
    std::string host; // as written, IPv6 literals without brackets
    std::uint16_t port = 0;
};

struct ProxyTarget {
    bool secure = false;
    Authority authority;
    std::string path; // path and query in origin form, never empty
};

enum class TargetProblem {
    None,
    Malformed,         // not a URL a proxy can act on
    UnsupportedScheme, // a URL of another scheme than http or https
};

/// The authority "host[:port]" with `defaultPort` when no port is given.
/// Hosts are registered names (letters, digits, "-", ".", "_", "~") or
/// IP literals; user information, empty ports and port 0 are refused.
std::optional<Authority> ParseAuthority(std::string_view text, std::uint16_t defaultPort);

/// An absolute-form target. A fragment is dropped; an empty path is "/".
std::optional<ProxyTarget> ParseAbsoluteTarget(std::string_view target, TargetProblem& problem);

/// True when the two name the same host and port (host case ignored).
bool SameAuthority(const Authority& a, const Authority& b);

/// "host", or "host:port" when the port is not the scheme's default; IPv6
/// literals in brackets. The form the cache and the Host header use.
std::string HostKey(const Authority& authority, bool secure);

/// The URL the cache knows the target by: scheme, "://", HostKey, path.
std::string CacheUrl(const ProxyTarget& target);

} // namespace proxy
