// SPDX-License-Identifier: Apache-2.0
#include "host/proxy/ForwardedHeaders.h"

#include <array>
#include <charconv>

namespace proxy {

namespace http = boost::beast::http;

namespace {

// Lines that would turn a storable GET into a partial or empty answer, or
// into a body encoded differently from what the cache keeps.
constexpr std::array<std::string_view, 4> kNotForStoring = {"If-None-Match", "If-Modified-Since",
                                                            "If-Range", "Accept-Encoding"};

bool IsNotForStoring(std::string_view name) {
    for (const std::string_view other : kNotForStoring) {
        if (NameEquals(name, other)) {
            return true;
        }
    }
    return false;
}

std::optional<std::uint64_t> ParseLength(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::vector<std::string> ConnectionTokensOf(const http::fields& fields) {
    std::vector<std::string_view> values;
    for (const auto& field : fields) {
        if (field.name() == http::field::connection) {
            values.push_back(field.value());
        }
    }
    return ConnectionTokens(values);
}

void RemoveHopByHop(http::fields& fields) {
    const std::vector<std::string> tokens = ConnectionTokensOf(fields);
    for (auto it = fields.begin(); it != fields.end();) {
        it = IsHopByHop(it->name_string(), tokens) ? fields.erase(it) : std::next(it);
    }
}

std::string UpstreamHeaderBlock(const http::request<http::string_body>& request,
                                const ProxyTarget& target, bool store, const std::string& via) {
    const std::vector<std::string> tokens = ConnectionTokensOf(request);
    std::string block;
    for (const auto& field : request) {
        const std::string_view name = field.name_string();
        // The library frames the body it sends itself.
        if (IsHopByHop(name, tokens) || NameEquals(name, "Host") ||
            NameEquals(name, "Content-Length") || NameEquals(name, "Expect") ||
            (store && IsNotForStoring(name))) {
            continue;
        }
        block.append(name).append(": ").append(field.value()).append("\r\n");
    }
    block.append("Host: ").append(HostKey(target.authority, target.secure)).append("\r\n");
    block.append("Via: 1.1 ").append(via).append("\r\n");
    return block;
}

std::optional<std::uint64_t> CopyResponseFields(const ResponseHead& head, http::fields& out) {
    std::vector<std::string_view> connection;
    for (const HeaderField& field : head.fields) {
        if (NameEquals(field.name, "Connection")) {
            connection.push_back(field.value);
        }
    }
    const std::vector<std::string> tokens = ConnectionTokens(connection);
    std::optional<std::uint64_t> length;
    for (const HeaderField& field : head.fields) {
        if (NameEquals(field.name, "Content-Length")) {
            length = ParseLength(field.value);
        } else if (!IsHopByHop(field.name, tokens)) {
            out.insert(field.name, field.value);
        }
    }
    return length;
}

} // namespace proxy
