// SPDX-License-Identifier: Apache-2.0
// Whether a page's Content-Security-Policy lets it frame a document of
// another origin: the panel's frame comes from the proxy's own address, and
// a page that forbids it gets a notice in its place instead of a frame the
// browser would leave blank without a word.
//
// Each policy (each header field, each comma-separated list) is read as the
// browser reads it for a frame: frame-src, else child-src, else
// default-src; a policy without any of them allows the frame. A source
// list allows it when one of its sources matches: '*', the frame's scheme
// ("http:"), 'self' for a frame of the page's own origin, or a host source
// naming the frame's host (a leading "*." for subdomains of a name) and port
// ("*" for any, none for the scheme's default). Every policy must allow it.
// Report-only policies enforce nothing and are not given here.
#pragma once

#include <string_view>
#include <vector>

namespace proxy {

/// True when the policies `policies` of a page of `pageOrigin` let it frame
/// a document of `frameOrigin` (both "scheme://host[:port]").
bool PolicyAllowsFrame(const std::vector<std::string_view>& policies, std::string_view frameOrigin,
                       std::string_view pageOrigin);

} // namespace proxy
