// SPDX-License-Identifier: Apache-2.0
// The URL cache calls for reading an entry's body, deleting entries and
// walking the whole cache, with the internet library's names and rules.
//
// A reader never opens content files itself: it takes a stream, which
// counts a hit of the entry and gives the body by offset, then releases
// it. Where the body lives is the cache's own business.
#pragma once

#include "platform/cache/UrlCache.h"

/// Opens the body of the entry for `url` (a fragment is ignored), counts a
/// hit and fills `entry` as GetUrlCacheEntryInfoExW does (the hit
/// included), with the same two-call sizing (null with
/// ERROR_INSUFFICIENT_BUFFER and the bytes needed; no hit is counted then).
/// Null with ERROR_FILE_NOT_FOUND when there is no usable entry. The body
/// read is the one of this moment, whatever later downloads or deletions
/// do to the entry; so, unlike RetrieveUrlCacheEntryFileW, a stream takes
/// no lock (the use count stays). `randomRead` and `reserved` are not
/// used: every read names its offset.
HANDLE RetrieveUrlCacheEntryStreamW(const char16_t* url, INTERNET_CACHE_ENTRY_INFOW* entry,
                                    DWORD* entrySize, BOOL randomRead, DWORD reserved);

/// Copies up to `*length` body bytes from offset `location`; `*length` is
/// set to the bytes copied, 0 at or past the end. ERROR_INVALID_HANDLE for
/// a handle that is not an open stream.
BOOL ReadUrlCacheEntryStream(HANDLE stream, DWORD location, void* buffer, DWORD* length,
                             DWORD reserved);

/// The same with a 64-bit offset, for bodies past 4 GiB.
BOOL ReadUrlCacheEntryStreamEx(HANDLE stream, std::uint64_t location, void* buffer, DWORD* length);

/// Closes the stream. The handle is invalid afterwards.
BOOL UnlockUrlCacheEntryStream(HANDLE stream, DWORD reserved);

/// Removes the entry for `url` and, when no other entry shares it, its
/// content. ERROR_FILE_NOT_FOUND without an entry. A locked entry is
/// removed too: a stream already open keeps reading what it opened.
BOOL DeleteUrlCacheEntryW(const char16_t* url);

/// Starts a walk over every entry in URL order and fills `entry` with the
/// first. `searchPattern` must be null or "*". Two-call sizing as above,
/// except that a failed first call leaves no walk behind: call again with
/// the size given. Null with ERROR_NO_MORE_ITEMS when the cache is empty.
HANDLE FindFirstUrlCacheEntryW(const char16_t* searchPattern, INTERNET_CACHE_ENTRY_INFOW* entry,
                               DWORD* entrySize);

/// The next entry of the walk; ERROR_NO_MORE_ITEMS after the last. A call
/// that fails with ERROR_INSUFFICIENT_BUFFER does not move the walk on.
/// Entries added or removed during a walk may or may not be seen.
BOOL FindNextUrlCacheEntryW(HANDLE find, INTERNET_CACHE_ENTRY_INFOW* entry, DWORD* entrySize);

/// Ends a walk.
BOOL FindCloseUrlCache(HANDLE find);
