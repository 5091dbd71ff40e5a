// SPDX-License-Identifier: Apache-2.0
// When and where a response sends the request on.
#pragma once

#include "platform/kernel/WinTypes.h"

#include <optional>
#include <string>

namespace inet {

/// At most this many redirects are followed for one request.
constexpr int kMaxRedirects = 20;

/// 301, 302, 303, 307 and 308 are followed.
bool IsFollowedRedirect(DWORD status);

struct HopTarget {
    std::string url; // absolute, with unsafe bytes percent-encoded
    bool secure = false;
    std::string host; // lower case, as libcurl normalises it
    unsigned port = 0;
};

/// Where a Location value leads from `base`: relative references are
/// resolved, spaces and bytes above 0x7F percent-encoded as libcurl does for
/// its own redirects. Fails with ERROR_INTERNET_INVALID_URL for a value
/// that is no URL, ERROR_INTERNET_UNRECOGNIZED_SCHEME for a scheme other
/// than http and https (`error` says which; 0 on success).
std::optional<HopTarget> ResolveRedirect(const std::string& base, const std::string& location,
                                         DWORD& error);

/// 0 when a redirect from one scheme to the other is allowed by
/// `securityFlags`; else ERROR_INTERNET_HTTP_TO_HTTPS_ON_REDIR or
/// ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR.
DWORD CheckSchemeChange(bool fromSecure, bool toSecure, DWORD securityFlags);

} // namespace inet
