// SPDX-License-Identifier: Apache-2.0
// Fuzzes what the proxy reads from the network and the command line: request
// targets, authorities, response heads from upstream, networks, listen
// addresses, its own page addresses, pages' frame policies, and the
// escaping of what it shows.
//
// The whole input goes to every reader; each checks the promises of a
// successful read, and the round trips that must give back what went in.
#include "host/proxy/CachePages.h"
#include "host/proxy/FramePolicy.h"
#include "host/proxy/HeaderFields.h"
#include "host/proxy/PageText.h"
#include "host/proxy/Routing.h"

#include <cstddef>
#include <cstdint>
#include <string>

using namespace proxy;

namespace {

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

void CheckTarget(std::string_view text) {
    TargetProblem problem = TargetProblem::None;
    const std::optional<ProxyTarget> target = ParseAbsoluteTarget(text, problem);
    Check(target.has_value() == (problem == TargetProblem::None));
    if (!target) {
        return;
    }
    Check(target->path.starts_with('/') && target->authority.port != 0);
    const std::optional<ProxyTarget> again = ParseAbsoluteTarget(CacheUrl(*target), problem);
    Check(again && CacheUrl(*again) == CacheUrl(*target));
}

void CheckAuthority(std::string_view text) {
    const std::optional<Authority> authority = ParseAuthority(text, 80);
    if (authority) {
        const std::optional<Authority> again = ParseAuthority(HostKey(*authority, false), 80);
        Check(again && SameAuthority(*again, *authority));
    }
}

void CheckHead(std::string_view text) {
    if (const std::optional<ResponseHead> head = ParseResponseHead(text)) {
        Check(head->status >= 100 && head->status <= 999);
        for (const HeaderField& field : head->fields) {
            Check(!field.name.empty() && field.name.find_first_of(" \t:\r\n") == std::string::npos);
            for (const char c : field.value) {
                Check(static_cast<unsigned char>(c) >= 0x20 || c == '\t');
            }
        }
    }
    ReplayedFields(text);
}

void CheckEscapes(std::string_view text) {
    Check(HtmlEscape(text).find_first_of("<>\"'") == std::string::npos);
    const std::string json = JsonString(text);
    for (const char c : json) {
        Check(static_cast<unsigned char>(c) >= 0x20);
    }
    Check(PercentDecode(PercentEncode(text)) == std::string(text));
    PercentDecode(text);
    ParseOwnPage(text);
}

void CheckRoute(std::string_view text) {
    const std::vector<DirectHost> direct;
    Policy policy;
    policy.direct = &direct;
    for (const char* method : {"GET", "CONNECT"}) {
        const Route route = RouteRequest({method, text, text, text, nullptr}, policy);
        Check(route.action != Action::Refuse || (route.status >= 400 && route.status < 600));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckTarget(text);
    CheckAuthority(text);
    CheckHead(text);
    CheckEscapes(text);
    CheckRoute(text);
    ParseNetwork(text);
    ParseListenAddress(text);
    ParseDirectHost(text);
    PolicyAllowsFrame({text}, "http://127.0.0.1:8731", "https://a.example");
    PolicyAllowsFrame({"frame-src 'self'"}, text, text);
    return 0;
}
