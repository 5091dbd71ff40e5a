// SPDX-License-Identifier: Apache-2.0
// Hits of kept copies opened for serving, counted in memory and added
// to the index in batches.
//
// A copy is opened for every answer a proxy gives from the cache; one
// write to the index per answer would cost more than the answer itself.
// Counts are written at least every quarter of a second while copies are
// opened, before the cache is walked (so a listing in this process is
// exact), and when the process ends normally.
#pragma once

#include <string_view>

namespace urlcache {

/// One hit of the entry stored under `key` (UTF-8).
void CountStoredHit(std::string_view key);

/// Writes the counted hits now; false when the index could not be written
/// (they are kept for the next try).
[[nodiscard]] bool FlushStoredHits();

} // namespace urlcache
