// SPDX-License-Identifier: Apache-2.0
// The addresses asked for while offline that the URL cache did not hold,
// so that they can be fetched the next time the library is online.
//
// Kept in missed.sqlite next to the cache's index, apart from it so that
// noting a miss never waits on a crawl writing the index. Several processes
// may record and read at once. The list keeps the most recent misses only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace urlcache {

struct MissedUrl {
    std::u16string url;
    std::uint64_t firstMissed = 0; // file-time ticks
    std::uint64_t lastMissed = 0;
    std::uint32_t count = 0;
};

/// The most URLs the list keeps; the least recently missed go first.
constexpr std::size_t kMaxMissedUrls = 10000;

/// The layout of the list this program makes and reads, kept in the file's
/// user_version. A list of a later layout is not opened: the calls below
/// fail and GetLastUrlCacheFailure says why.
constexpr int kMissedListVersion = 2;

/// Notes one miss of `url`: counted, with the time, under the key the URL
/// cache would keep it by (CacheKey.h), so two spellings count as one.
/// The miss is written a moment later by a thread of its own, together
/// with the others noted meanwhile (MissedWriter.h): the caller never waits
/// on the file. Listing, forgetting and clearing in this process see it.
/// False when there is no cache folder or too many misses wait.
[[nodiscard]] bool RecordMissedUrl(std::u16string_view url);

/// Waits until every miss this process noted so far is written; false when
/// one could not be. For a process about to leave with _Exit.
[[nodiscard]] bool FlushMissedUrls();

/// Every noted URL, most recently missed first.
[[nodiscard]] bool ListMissedUrls(std::vector<MissedUrl>& urls);

/// Forgets one URL (a missing one is no failure).
[[nodiscard]] bool ForgetMissedUrl(std::u16string_view url);

/// Forgets every URL.
[[nodiscard]] bool ClearMissedUrls();

} // namespace urlcache
