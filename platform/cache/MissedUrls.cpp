#include "platform/cache/MissedUrls.h"

#include "platform/cache/CacheKey.h"
#include "platform/cache/ContentFiles.h"
#include "platform/cache/Sqlite.h"
#include "platform/cache/UrlCacheStore.h"
#include "platform/kernel/FileTime.h"

#include <sys/stat.h>

#include <optional>

namespace urlcache {

namespace {

constexpr int kBusyTimeoutMs = 10000;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS missed (
    url TEXT PRIMARY KEY,
    first_missed INTEGER NOT NULL,
    last_missed INTEGER NOT NULL,
    count INTEGER NOT NULL
);
CREATE INDEX IF NOT EXISTS missed_by_time ON missed(last_missed);
)sql";

/// A connection per call: misses are rare, and a connection never has to
/// survive a fork or a change of cache folder.
SqliteDb OpenList() {
    const std::string root = CacheRoot();
    if (root.empty() || !MakeDirectories(root)) {
        return nullptr;
    }
    SqliteDb db = OpenDatabase(root + "/missed.sqlite");
    if (!db) {
        return nullptr;
    }
    sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
    // The rollback journal (not WAL) keeps the list one file with no
    // companions to clean up; its writes are few and small.
    if (!Execute(db.get(), kSchema)) {
        return nullptr;
    }
    return db;
}

bool Run(sqlite3* db, const char* sql, std::u16string_view url = {}, std::int64_t time = 0) {
    Statement statement(db, sql);
    statement.Bind(1, url).Bind(2, time);
    statement.Step();
    return !statement.Failed();
}

} // namespace

bool RecordMissedUrl(std::u16string_view url) {
    const SqliteDb db = OpenList();
    if (!db) {
        return false;
    }
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const auto ticks = static_cast<std::int64_t>(FileTimeToTicks(now));
    Transaction transaction(db.get());
    return transaction.Begun() &&
           Run(db.get(),
               "INSERT INTO missed (url, first_missed, last_missed, count) VALUES (?1, ?2, ?2, 1) "
               "ON CONFLICT(url) DO UPDATE SET last_missed = ?2, count = count + 1",
               CacheKeyOf(url), ticks) &&
           Run(db.get(), ("DELETE FROM missed WHERE last_missed < (SELECT last_missed FROM "
                          "missed ORDER BY last_missed DESC LIMIT 1 OFFSET " +
                          std::to_string(kMaxMissedUrls - 1) + ")")
                             .c_str()) &&
           transaction.Commit();
}

bool ListMissedUrls(std::vector<MissedUrl>& urls) {
    urls.clear();
    const SqliteDb db = OpenList();
    if (!db) {
        return false;
    }
    Statement query(db.get(), "SELECT url, first_missed, last_missed, count FROM missed "
                              "ORDER BY last_missed DESC, url");
    while (query.Step()) {
        urls.push_back({query.Text16(0), static_cast<std::uint64_t>(query.Int(1)),
                        static_cast<std::uint64_t>(query.Int(2)),
                        static_cast<std::uint32_t>(query.Int(3))});
    }
    return !query.Failed();
}

bool ForgetMissedUrl(std::u16string_view url) {
    struct stat info {};
    const std::string root = CacheRoot();
    if (!root.empty() && ::stat((root + "/missed.sqlite").c_str(), &info) != 0) {
        return true; // nothing was ever missed here; no list to make
    }
    const SqliteDb db = OpenList();
    return db && Run(db.get(), "DELETE FROM missed WHERE url = ?1", CacheKeyOf(url));
}

bool ClearMissedUrls() {
    const SqliteDb db = OpenList();
    return db && Run(db.get(), "DELETE FROM missed");
}

} // namespace urlcache
