// SPDX-License-Identifier: Apache-2.0
#include "host/proxy/ProxyTarget.h"

#include <charconv>

namespace proxy {

namespace {

bool IsRegNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

bool IsIpv6Char(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' ||
           c == '.';
}

bool IsPathChar(char c) {
    // Anything printable but a space; the server side refuses the rest
    // before a target gets here, and this keeps the rule whole.
    return c > 0x20 && c < 0x7F;
}

bool LowerEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::optional<std::uint16_t> ParsePort(std::string_view text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || text.size() > 5 || error != std::errc() ||
        end != text.data() + text.size() || value == 0 || value > 65535) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

} // namespace

std::optional<Authority> ParseAuthority(std::string_view text, std::uint16_t defaultPort) {
    Authority out;
    std::string_view rest;
    if (text.starts_with('[')) {
        const auto close = text.find(']');
        if (close == std::string_view::npos || close == 1) {
            return std::nullopt;
        }
        const std::string_view literal = text.substr(1, close - 1);
        for (const char c : literal) {
            if (!IsIpv6Char(c)) {
                return std::nullopt;
            }
        }
        out.host = literal;
        rest = text.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':')) {
            return std::nullopt;
        }
    } else {
        const auto colon = text.find(':');
        const std::string_view name = text.substr(0, colon);
        if (name.empty() || name.size() > 253) {
            return std::nullopt;
        }
        for (const char c : name) {
            if (!IsRegNameChar(c)) {
                return std::nullopt;
            }
        }
        out.host = name;
        rest = colon == std::string_view::npos ? std::string_view() : text.substr(colon);
    }
    if (rest.empty()) {
        out.port = defaultPort;
        return defaultPort == 0 ? std::nullopt : std::optional<Authority>(out);
    }
    const std::optional<std::uint16_t> port = ParsePort(rest.substr(1));
    if (!port) {
        return std::nullopt;
    }
    out.port = *port;
    return out;
}

std::optional<ProxyTarget> ParseAbsoluteTarget(std::string_view target, TargetProblem& problem) {
    problem = TargetProblem::Malformed;
    const auto schemeEnd = target.find("://");
    if (schemeEnd == std::string_view::npos || schemeEnd == 0) {
        return std::nullopt;
    }
    const std::string_view scheme = target.substr(0, schemeEnd);
    ProxyTarget out;
    if (LowerEquals(scheme, "https")) {
        out.secure = true;
    } else if (!LowerEquals(scheme, "http")) {
        const bool wellFormed =
            scheme.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                     "0123456789+-.") == std::string_view::npos;
        problem = wellFormed ? TargetProblem::UnsupportedScheme : TargetProblem::Malformed;
        return std::nullopt;
    }
    std::string_view rest = target.substr(schemeEnd + 3);
    rest = rest.substr(0, rest.find('#'));
    const auto pathStart = rest.find_first_of("/?");
    const std::string_view authority = rest.substr(0, pathStart);
    std::optional<Authority> parsed = ParseAuthority(authority, out.secure ? 443 : 80);
    if (!parsed) {
        return std::nullopt;
    }
    out.authority = std::move(*parsed);
    const std::string_view path =
        pathStart == std::string_view::npos ? std::string_view() : rest.substr(pathStart);
    for (const char c : path) {
        if (!IsPathChar(c)) {
            return std::nullopt;
        }
    }
    out.path.reserve(path.size() + 1);
    if (!path.starts_with('/')) {
        out.path.push_back('/');
    }
    out.path.append(path.data(), path.size());
    problem = TargetProblem::None;
    return out;
}

bool SameAuthority(const Authority& a, const Authority& b) {
    return a.port == b.port && LowerEquals(a.host, b.host);
}

std::string HostKey(const Authority& authority, bool secure) {
    const bool literal = authority.host.find(':') != std::string::npos;
    std::string key;
    key.append(literal ? "[" : "").append(authority.host).append(literal ? "]" : "");
    if (authority.port != (secure ? 443 : 80)) {
        key.append(":").append(std::to_string(authority.port));
    }
    return key;
}

std::string CacheUrl(const ProxyTarget& target) {
    std::string url = target.secure ? "https://" : "http://";
    return url.append(HostKey(target.authority, target.secure)).append(target.path);
}

} // namespace proxy
