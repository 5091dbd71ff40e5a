// SPDX-License-Identifier: Apache-2.0
// The header lines the internet library adds to a kept response to say how
// it may be used again. The library writes them when it stores a response;
// the cache reads them back as an entry's marks.
#pragma once

#include <string_view>

namespace urlcache {

/// The header line that marks an entry whose https certificate was not
/// verified (fetched with leniency flags): "X-Dravik-Certificate: unverified".
inline constexpr std::string_view kCertificateField = "X-Dravik-Certificate";
inline constexpr std::string_view kUnverifiedValue = "unverified";

/// The header line that marks an entry only the user of this machine may be
/// answered with: "X-Dravik-Cache: this-machine". A private cache's entries
/// carry it, and a shared cache's that may not be reused for someone else
/// without asking the origin (asked for with credentials, varying by the
/// request, or to be revalidated), since offline nobody can be asked.
inline constexpr std::string_view kCacheField = "X-Dravik-Cache";
inline constexpr std::string_view kThisMachineValue = "this-machine";

} // namespace urlcache
