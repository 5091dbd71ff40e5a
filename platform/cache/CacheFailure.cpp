// SPDX-License-Identifier: Apache-2.0
#include "platform/cache/CacheFailure.h"

#include "platform/kernel/LastError.h"
#include "platform/text/Utf8.h"

#include <sqlite3.h>

#include <cstring>

namespace {

thread_local bool t_failed = false;
thread_local UrlCacheFailure t_failure;

constexpr DWORD ERROR_FILE_CORRUPT = 1392;

std::u16string SystemWords(int error) {
    char text[256] = {};
    // The GNU strerror_r returns its text, which need not be in `text`.
    return Utf8ToUtf16(::strerror_r(error, text, sizeof text));
}

DWORD ErrorFromSqlite(int code) {
    switch (code) {
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return ERROR_ACCESS_DENIED;
    case SQLITE_FULL:
        return ERROR_DISK_FULL;
    case SQLITE_NOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return ERROR_FILE_CORRUPT;
    default:
        return ERROR_GEN_FAILURE;
    }
}

} // namespace

BOOL GetLastUrlCacheFailure(UrlCacheFailure& failure) {
    if (t_failed) {
        failure = t_failure;
    }
    return t_failed ? TRUE : FALSE;
}

namespace urlcache {

UrlCacheFailure FailureFromErrno(const std::string& path, int error) {
    return {{}, Utf8ToUtf16(path), ErrorFromErrno(error), SystemWords(error)};
}

UrlCacheFailure FailureFromSqlite(const std::string& path, sqlite3* db) {
    if (db == nullptr) {
        return {{}, Utf8ToUtf16(path), ERROR_NOT_ENOUGH_MEMORY, u"out of memory"};
    }
    std::u16string reason = Utf8ToUtf16(sqlite3_errmsg(db));
    // The system's errno is only SQLite's reason when a file call failed.
    const int code = sqlite3_extended_errcode(db) & 0xFF;
    const int system =
        code == SQLITE_IOERR || code == SQLITE_CANTOPEN ? sqlite3_system_errno(db) : 0;
    if (system != 0) {
        reason += u": " + SystemWords(system);
    }
    const DWORD error = system != 0 ? ErrorFromErrno(system) : ErrorFromSqlite(code);
    return {{}, Utf8ToUtf16(path), error, reason};
}

void RememberFailure(const UrlCacheFailure& failure) {
    t_failure = failure;
    t_failed = true;
}

} // namespace urlcache
