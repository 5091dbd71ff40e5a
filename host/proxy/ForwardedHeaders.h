// SPDX-License-Identifier: Apache-2.0
// The header lines a forwarded request and its response carry: the
// browser's lines without those that belong to one connection, with the
// Host of the URL and this proxy's Via mark.
#pragma once

#include "host/proxy/HeaderFields.h"
#include "host/proxy/ProxyTarget.h"

#include <boost/beast/http/fields.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace proxy {

/// The header block for the internet library. With `store` (a GET whose
/// 200 goes to the cache) conditional and compression lines are left out,
/// so the server sends the whole body as the cache keeps it.
std::string
UpstreamHeaderBlock(const boost::beast::http::request<boost::beast::http::string_body>& request,
                    const ProxyTarget& target, bool store, const std::string& via);

/// Copies the end-to-end fields of `head` into `out` and returns its
/// Content-Length when it has a valid one.
std::optional<std::uint64_t> CopyResponseFields(const ResponseHead& head,
                                                boost::beast::http::fields& out);

/// Removes the hop-by-hop fields of `fields` (the fixed set and those its
/// Connection lines name).
void RemoveHopByHop(boost::beast::http::fields& fields);

/// The fields' Connection tokens.
std::vector<std::string> ConnectionTokensOf(const boost::beast::http::fields& fields);

} // namespace proxy
