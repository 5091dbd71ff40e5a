// SPDX-License-Identifier: Apache-2.0
// Why the URL cache could not do what it was asked: the file or folder it
// could not use and the system's reason.
//
// The cache keeps the latest failure per thread, so a caller whose cache
// call failed (listing the cache, say) can name the file and the reason.
// The internet library also reports every download it could not store
// through the session's status callback (INTERNET_STATUS_CACHE_WRITE_FAILED,
// platform/inet/WinInet.h), with one of these as the information.
#pragma once

#include "platform/kernel/WinTypes.h"

#include <string>

struct sqlite3;

/// A failure of the URL cache, as front ends report it.
struct UrlCacheFailure {
    std::u16string url;    ///< the URL being stored; empty when none was
    std::u16string path;   ///< the file or folder that could not be used
    DWORD error = 0;       ///< the Windows error number
    std::u16string reason; ///< the system's own words
};

/// The latest failure of the URL cache on the calling thread. FALSE when
/// there has been none since the thread began.
BOOL GetLastUrlCacheFailure(UrlCacheFailure& failure);

namespace urlcache {

/// A failure from `errno` as a failed system call on `path` left it.
UrlCacheFailure FailureFromErrno(const std::string& path, int error);

/// A failure from SQLite's last error on `db` (may be null), with the
/// system's reason when an I/O call underneath failed.
UrlCacheFailure FailureFromSqlite(const std::string& path, sqlite3* db);

/// Keeps `failure` as the calling thread's latest.
void RememberFailure(const UrlCacheFailure& failure);

} // namespace urlcache
