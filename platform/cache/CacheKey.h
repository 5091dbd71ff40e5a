// SPDX-License-Identifier: Apache-2.0
// The key under which the URL cache stores and finds a URL.
//
// Two spellings of one address must meet in one entry: the scheme and the
// host are compared without case, and a port that only repeats the
// scheme's default names no other server. Storing and looking up both go
// through CacheKeyOf, so an entry is found however its URL was written.
#pragma once

#include <string>
#include <string_view>

namespace urlcache {

/// `url` without its fragment; for an http or https URL also with the
/// scheme and host in lower case (A to Z only) and an explicit default
/// port (":80" for http, ":443" for https, or a bare ":") left out. The
/// path, query and any user information are kept exactly.
std::u16string CacheKeyOf(std::u16string_view url);
/// The same for UTF-8 text.
std::string CacheKeyOf(std::string_view url);

} // namespace urlcache
