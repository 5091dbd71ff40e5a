// SPDX-License-Identifier: Apache-2.0
// The header lines a request hop sends, built from the caller's block and
// the request's own settings.
#pragma once

#include "platform/inet/CurlHandles.h"

#include <string>

namespace inet {

struct RequestHeaderSource {
    std::string block;       // the caller's header block, as wire bytes
    std::string acceptTypes; // joined with ", "; empty for no "Accept" line
    std::string referrer;    // empty for none
    std::string agent;       // the session's agent; empty for none
    bool http10 = true;
    bool hasBody = false;
};

/// The list for libcurl. The caller's lines go first, in their order and as
/// given (a line with an empty value is still sent). Lines are separated by
/// CR LF; a line without a name, or holding a bare CR or LF, is not sent. Then, for names the
/// block does not have: "Accept", "Referer", "User-Agent", and on HTTP/1.0
/// "Connection: Keep-Alive" so that the server may keep the connection for
/// the next request. A request with a body gets no Content-Type or Expect
/// line the caller did not give. When `toOtherHost` is true (a redirect left the host
/// the caller named), the block's "Host", "Cookie" and "Authorization"
/// lines are left out: they were meant for the first host only.
CurlSlist BuildHeaderList(const RequestHeaderSource& source, bool toOtherHost);

} // namespace inet
