// SPDX-License-Identifier: Apache-2.0
// The URL cache's calls as the internet library offers them: an entry's
// information in two-call buffers, locks on content files, and the list of
// entries. The internet library's header includes this one, so the core sees
// one library; the cache itself knows nothing of sessions or requests.
#pragma once

#include "platform/kernel/WinTypes.h"

#include <cstdint>
#include <string>
#include <vector>

/// The library's error for a failure it cannot name otherwise (the cache
/// index could not be read, say).
constexpr DWORD ERROR_INTERNET_INTERNAL_ERROR = 12004;

// ---------------------------------------------------------------------------
// The URL cache
//
// An SQLite index (index.sqlite) and a folder of content files under
// $XDG_CACHE_HOME/dravik/. Several processes may use it at once. A content
// file is complete on disk before the index names it, and the temporaries
// of a process that died mid-download are deleted the next time a process
// opens the cache. URLs are stored and looked up without fragment, with
// scheme and host compared without case and an explicit default port
// dropped ("HTTP://Host:80/a" and "http://host/a" are one entry); path and
// query are compared exactly.
// ---------------------------------------------------------------------------

constexpr DWORD NORMAL_CACHE_ENTRY = 0x00000001;

/// One cache entry, with its texts stored after it in the same buffer.
/// Sizes are in bytes; times are FILETIMEs (0 when unknown).
struct INTERNET_CACHE_ENTRY_INFOW {
    DWORD dwStructSize;
    char16_t* lpszSourceUrlName;
    char16_t*
        lpszLocalFileName; // full path of the content file; empty for a body kept in the index
    DWORD CacheEntryType;
    DWORD dwUseCount; // locks taken by RetrieveUrlCacheEntryFileW
    DWORD dwHitRate;  // retrievals of the URL (file or stream), across re-downloads
    DWORD dwSizeLow;
    DWORD dwSizeHigh;
    FILETIME LastModifiedTime; // from the response's Last-Modified
    FILETIME ExpireTime;       // from the response's Expires
    FILETIME LastAccessTime;
    FILETIME LastSyncTime; // when the content was downloaded
    char16_t* lpHeaderInfo;
    DWORD dwHeaderInfoSize; // characters, terminator excluded
    char16_t* lpszFileExtension;
    DWORD dwReserved;
};

/// The entry for `url` (a fragment is ignored). Two-call sizing: with
/// `*entrySize` too small (a null `entry` with 0 is the usual first call) it
/// fails with ERROR_INSUFFICIENT_BUFFER and sets the bytes needed. No entry:
/// ERROR_FILE_NOT_FOUND. The redirect arguments and flags are not used.
[[nodiscard]] BOOL GetUrlCacheEntryInfoExW(const char16_t* url, INTERNET_CACHE_ENTRY_INFOW* entry,
                                           DWORD* entrySize, char16_t* redirectUrl,
                                           DWORD* redirectUrlSize, void* reserved, DWORD flags);

/// Like GetUrlCacheEntryInfoExW, and on success takes one lock on the entry
/// (use count + 1); a body kept in the index is first moved to a content file
/// of its own, so the entry then names a local file. Fails with ERROR_FILE_NOT_FOUND (and forgets
/// the entry) when its content file has gone.
[[nodiscard]] BOOL RetrieveUrlCacheEntryFileW(const char16_t* url,
                                              INTERNET_CACHE_ENTRY_INFOW* entry, DWORD* entrySize,
                                              DWORD reserved);

/// Releases one lock (use count − 1). ERROR_FILE_NOT_FOUND without an entry,
/// ERROR_NOT_LOCKED when the use count is already 0.
BOOL UnlockUrlCacheEntryFileW(const char16_t* url, DWORD reserved);

/// One entry as listed by ListUrlCacheEntries.
struct UrlCacheEntry {
    std::u16string sourceUrl;
    std::u16string localFile;
    std::u16string headers;
    std::uint64_t size = 0;
    DWORD useCount = 0;
    FILETIME lastModified{};
    FILETIME lastSync{};
};

/// Every entry of the cache, ordered by URL. FALSE with the last error set
/// when the cache cannot be read; GetLastUrlCacheFailure then names the
/// file and the system's reason.
[[nodiscard]] BOOL ListUrlCacheEntries(std::vector<UrlCacheEntry>& entries);
