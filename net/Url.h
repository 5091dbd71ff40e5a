// SPDX-License-Identifier: Apache-2.0
// Splitting an absolute http or https URL into the parts a request needs,
// and the host[:port] key built back from them.
//
// A URL is never kept as one parsed object: `ParseURL` splits the text into
// a secure flag, a host, a port and a path (query and fragment included),
// which are handed on one by one. The splitting is small and literal: no
// user-info, no IPv6 literals, no case folding, no percent-decoding, no
// dot-segment removal. The host ends only at the first "/" after the "//",
// so "http://h?q=/x" gives the host "h?q=" and the path "/x". A port above
// 65535 does not fit the 16-bit port, and the parse fails rather than keep
// a wrapped value that would connect somewhere else.
#pragma once

#include "foundation/VELString.h"
#include "platform/kernel/WinTypes.h"

#include <cstdint>

namespace url {

inline constexpr char16_t kSchemeHttp[] = u"http";
inline constexpr char16_t kSchemeHttps[] = u"https";
inline constexpr char16_t kSchemeSeparator[] = u"://";
inline constexpr char kPortSuffixFormat[] = ":%d";
inline constexpr INTERNET_PORT kDefaultHttpPort = 80;
inline constexpr INTERNET_PORT kDefaultHttpsPort = 443;

enum class Scheme { kNone, kHttp, kHttps, kOther };

/// Reads the scheme of `text`: the text before the first ":" when that ":"
/// comes before the first "/". Stores in `*prefixLength` the units taken by
/// the scheme and its ":" (0 for `Scheme::kNone`). Requires a NUL-ended
/// `text` and a non-null `prefixLength`.
Scheme ReadScheme(const char16_t* text, std::int32_t* prefixLength);

/// Writes "http://" or "https://" followed by `host` and, for a port other
/// than the scheme's default, its ":port" suffix.
void AppendOrigin(CVELString& text, const CVELString& host, INTERNET_PORT port, BOOL secure);

} // namespace url

/// Splits the NUL-ended `text` into its URL parts. Returns 1 on success:
/// `host` is then non-empty and holds no ":", `path` begins with "/", `*port`
/// is the explicit port or the scheme's default, `*secure` is 1 for https.
/// Returns 0 for a scheme other than http or https, a missing "//", an empty
/// host, or a port that is empty, not all digits or above 65535; the outputs
/// then hold partial values that callers must ignore. `port` and `secure`
/// must not be null; `text` may point into `host` or `path`.
BOOL ParseURL(const char16_t* text, CVELString& host, CVELString& path, INTERNET_PORT* port,
              BOOL* secure);

/// Appends ":" and the decimal `port` to `text` unless it is the default
/// port of the scheme (443 when `secure` is nonzero, 80 otherwise).
void AppendPort(CVELString& text, INTERNET_PORT port, BOOL secure);
