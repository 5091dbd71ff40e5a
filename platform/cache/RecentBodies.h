// SPDX-License-Identifier: Apache-2.0
// The bodies cache streams opened in the last moment, kept open together
// with the entry they belong to.
//
// A browser asks for a page's images and style sheets again and again; a
// look-up in the index and an open of the body cost more than the answer.
// A kept body is used for one second at most, so a new download or a
// deletion made by another process shows within that time (one made by
// this process shows at once). Content files
// are never rewritten in place, so a kept body is always whole.
#pragma once

#include "platform/cache/ContentFiles.h"
#include "platform/cache/UrlCache.h"

#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace urlcache {

struct RecentBody {
    std::shared_ptr<const FileDescriptor> body;
    /// The entry as looked up, its texts included and pointing into it
    /// (shared, so that copies of a RecentBody keep those addresses valid).
    std::shared_ptr<const std::vector<char>> entry;
};

/// The body kept for `url` (exactly as given), when it is fresh.
std::optional<RecentBody> FindRecentBody(std::u16string_view url);

/// Keeps `body` for `url`; `entry`/`entrySize` is the entry as looked up.
void KeepRecentBody(std::u16string_view url, std::shared_ptr<const FileDescriptor> body,
                    const INTERNET_CACHE_ENTRY_INFOW& entry, DWORD entrySize);

/// Drops every kept body (this process changed the cache).
void ForgetRecentBodies();

/// Copies a kept entry into a caller's buffer, its texts' addresses moved
/// along. False with `*size` set when the buffer is too small.
[[nodiscard]] bool CopyKeptEntry(const std::vector<char>& entry, INTERNET_CACHE_ENTRY_INFOW* out,
                                 DWORD* size);

} // namespace urlcache
