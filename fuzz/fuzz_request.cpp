// SPDX-License-Identifier: Apache-2.0
// Fuzzes the proxy's request path as a client drives it: the bytes of a
// request through the HTTP parser with the proxy's limits, routing with
// --direct hosts, offline or not and a client of this machine or another,
// the header block sent upstream, whether the page may get the panel, and
// the error page that answers a refusal.
//
// A routed request never reaches this machine for another machine's
// client, the block sent upstream is whole lines of "Name: value" with no
// line break smuggled in and ends with the Host and Via the proxy sets, and
// an error page never carries markup from the request.
#include "host/proxy/CachePages.h"
#include "host/proxy/ForwardedHeaders.h"
#include "host/proxy/PanelHook.h"
#include "host/proxy/Routing.h"

#include <boost/asio/buffer.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>

#include <cstddef>
#include <cstdint>
#include <string>

using namespace proxy;
namespace http = boost::beast::http;

namespace {

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

/// Whole "Name: value" lines, each ended by CR LF, and nothing else.
void CheckBlock(const std::string& block, const ProxyTarget& target) {
    std::size_t start = 0;
    while (start < block.size()) {
        const std::size_t end = block.find("\r\n", start);
        Check(end != std::string::npos);
        const std::string_view line(block.data() + start, end - start);
        Check(line.find_first_of("\r\n") == std::string_view::npos);
        const std::size_t colon = line.find(": ");
        Check(colon != std::string_view::npos && colon > 0);
        start = end + 2;
    }
    Check(block.find("\r\nHost: " + HostKey(target.authority, target.secure) + "\r\nVia: 1.1 ") !=
              std::string::npos ||
          block.starts_with("Host: "));
}

void CheckRequest(const http::request<http::string_body>& request, std::uint8_t flags) {
    const std::vector<DirectHost> direct = {*ParseDirectHost("engine.local"),
                                            *ParseDirectHost("127.0.0.1:9000")};
    const std::vector<std::uint16_t> ports = {8443};
    const std::vector<IpBytes> own = {*ParseIp("192.0.2.10")};
    Policy policy;
    policy.direct = &direct;
    policy.self = {(flags & 1) != 0 ? "0.0.0.0" : "127.0.0.1", 8080};
    policy.viaToken = "dravik-fuzz";
    policy.offline = (flags & 2) != 0;
    policy.intercept = (flags & 4) != 0;
    policy.connectPorts = &ports;
    policy.ownAddresses = &own;
    const bool loopback = (flags & 8) != 0;
    const auto host = request.find(http::field::host);
    std::string via;
    const auto [first, last] = request.equal_range(http::field::via);
    for (auto field = first; field != last; ++field) {
        via.append(field->value()).append(",");
    }
    RequestLine line{request.method_string(),
                     request.target(),
                     host == request.end() ? std::nullopt
                                           : std::optional<std::string_view>(host->value()),
                     via,
                     nullptr,
                     loopback};
    const Route route = RouteRequest(line, policy);
    if (route.action == Action::Refuse) {
        Check(route.status >= 400 && route.status < 600);
        const std::string page = ErrorPage(route.status, "Refused", route.message);
        Check(page.find("<script") == std::string::npos);
        return;
    }
    const bool reaches = route.action != Action::OwnPage;
    if (!loopback && reaches) {
        Check(!NamesMachineLocal(route.target.authority.host));
    }
    if (route.action == Action::Forward || route.action == Action::Direct) {
        CheckBlock(UpstreamHeaderBlock(request, route.target, (flags & 16) != 0, "dravik-fuzz"),
                   route.target);
    }
    (void)OpensAsDocument(request.base());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    http::request_parser<http::string_body> parser;
    parser.header_limit(64 * 1024);
    parser.body_limit(1024 * 1024);
    parser.eager(true);
    boost::system::error_code ec;
    std::size_t used = 1; // the first byte picks the policy
    while (used < size && !parser.is_done()) {
        const std::size_t n = parser.put(boost::asio::buffer(data + used, size - used), ec);
        if (ec || n == 0) {
            break;
        }
        used += n;
    }
    if (parser.is_header_done()) {
        CheckRequest(parser.get(), data[0]);
    }
    return 0;
}
