// SPDX-License-Identifier: Apache-2.0
// Laying a cache entry out as an INTERNET_CACHE_ENTRY_INFOW with its texts
// after it in the caller's buffer.
#pragma once

#include "platform/cache/CacheIndex.h"
#include "platform/cache/UrlCache.h"

#include <string>

namespace urlcache {

/// The full path of the entry's content file as wide text (paths are UTF-8).
std::u16string LocalFileText(const EntryRecord& record, const std::string& root);

/// Bytes needed for the structure and its texts.
DWORD EntryInfoSize(const EntryRecord& record, const std::string& root);

/// Fills `out`, which must hold EntryInfoSize bytes.
void FillEntryInfo(const EntryRecord& record, const std::string& root,
                   INTERNET_CACHE_ENTRY_INFOW* out);

/// The same entry for ListUrlCacheEntries.
UrlCacheEntry ToListedEntry(const EntryRecord& record, const std::string& root);

} // namespace urlcache
