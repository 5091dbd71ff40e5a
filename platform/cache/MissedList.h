// SPDX-License-Identifier: Apache-2.0
// The file of missed URLs itself (missed.sqlite): opening it and writing a
// batch of misses. Used by MissedUrls.cpp and by the thread that writes
// the misses noted in this process (MissedWriter.h).
#pragma once

#include "platform/cache/Sqlite.h"

#include <cstdint>
#include <string>
#include <vector>

namespace urlcache {

/// Misses of one URL noted since the last batch.
struct NotedMiss {
    std::u16string key;     // the URL as the cache keys it (CacheKey.h)
    std::int64_t first = 0; // file-time ticks
    std::int64_t last = 0;
    std::uint32_t count = 0;
};

/// The list under the cache folder `root`, made when missing; null when
/// it cannot be opened.
[[nodiscard]] SqliteDb OpenMissedList(const std::string& root);

/// Adds `misses` to the list on `db` in one transaction and trims the
/// list to its most recent kMaxMissedUrls; false when nothing was written.
[[nodiscard]] bool WriteMissedBatch(sqlite3* db, const std::vector<NotedMiss>& misses);

} // namespace urlcache
