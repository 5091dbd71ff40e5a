// SPDX-License-Identifier: Apache-2.0
#include "platform/cache/MissedUrls.h"

#include "platform/cache/CacheKey.h"
#include "platform/cache/ContentFiles.h"
#include "platform/cache/MissedList.h"
#include "platform/cache/MissedWriter.h"
#include "platform/cache/UrlCacheStore.h"
#include "platform/kernel/FileTime.h"

#include <sys/stat.h>

#include <iterator>

namespace urlcache {

namespace {

constexpr int kBusyTimeoutMs = 10000;

// The list's layouts, oldest first; kMissedListVersion is the last:
//  1. misses under the URL as it was asked for
//  2. misses under their cache key (CacheKey.h), the key they are looked up
//     and forgotten by
constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS missed (
    url TEXT PRIMARY KEY,
    first_missed INTEGER NOT NULL,
    last_missed INTEGER NOT NULL,
    count INTEGER NOT NULL
);
CREATE INDEX IF NOT EXISTS missed_by_time ON missed(last_missed);
)sql";

/// Moves the misses under `url` to `key`, counted with any already there.
bool MoveMisses(sqlite3* db, std::u16string_view url, std::u16string_view key) {
    Statement merge(db, "INSERT INTO missed (url, first_missed, last_missed, count) "
                        "SELECT ?2, first_missed, last_missed, count FROM missed WHERE url = ?1 "
                        "ON CONFLICT(url) DO UPDATE SET "
                        "first_missed = MIN(first_missed, excluded.first_missed), "
                        "last_missed = MAX(last_missed, excluded.last_missed), "
                        "count = count + excluded.count");
    merge.Bind(1, url).Bind(2, key).Step();
    Statement remove(db, "DELETE FROM missed WHERE url = ?1");
    remove.Bind(1, url).Step();
    return !merge.Failed() && !remove.Failed();
}

/// Layout 1 to 2: a miss under the URL as it was asked for would never be
/// forgotten once the address is fetched, and two spellings of one address
/// would count apart.
bool KeyMisses(sqlite3* db) {
    return MoveRowsToKeys(db, "SELECT url FROM missed", &CacheKeyOf, &MoveMisses);
}

/// Lists from before layouts were numbered look alike whichever layout they
/// have: such a list is taken for 1, as keying misses already keyed changes
/// nothing.
int DetectLayout(sqlite3*) {
    return 1;
}

constexpr SchemaStep kSteps[] = {&KeyMisses};
static_assert(std::size(kSteps) == kMissedListVersion - 1);
constexpr SchemaHistory kHistory{kMissedListVersion, kSchema, &DetectLayout, kSteps};

/// A connection per reading or forgetting call: those are rare, and such a
/// connection never has to survive a fork or a change of cache folder.
SqliteDb OpenList() {
    return OpenMissedList(CacheRoot());
}

bool Run(sqlite3* db, const char* sql, std::u16string_view url = {}) {
    Statement statement(db, sql);
    statement.Bind(1, url);
    statement.Step();
    return !statement.Failed();
}

} // namespace

SqliteDb OpenMissedList(const std::string& root) {
    if (root.empty() || !MakeDirectories(root)) {
        return nullptr;
    }
    const std::string path = root + "/missed.sqlite";
    UrlCacheFailure failure;
    SqliteDb db = OpenDatabase(path, &failure);
    if (db) {
        sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
        // The rollback journal (not WAL) keeps the list one file with no
        // companions to clean up; its writes are few and batched.
        if (!UpgradeSchema(db.get(), path, kHistory, &failure)) {
            db.reset();
        }
    }
    if (!db) {
        RememberFailure(failure); // the caller's "could not be read" can say why
    }
    return db;
}

bool WriteMissedBatch(sqlite3* db, const std::vector<NotedMiss>& misses) {
    Transaction transaction(db);
    if (!transaction.Begun()) {
        return false;
    }
    for (const NotedMiss& miss : misses) {
        Statement upsert(db, "INSERT INTO missed (url, first_missed, last_missed, count) "
                             "VALUES (?1, ?2, ?3, ?4) ON CONFLICT(url) DO UPDATE SET "
                             "last_missed = MAX(last_missed, ?3), count = count + ?4");
        upsert.Bind(1, std::u16string_view(miss.key))
            .Bind(2, miss.first)
            .Bind(3, miss.last)
            .Bind(4, static_cast<std::int64_t>(miss.count));
        upsert.Step();
        if (upsert.Failed()) {
            return false;
        }
    }
    static const std::string kTrim = "DELETE FROM missed WHERE last_missed < (SELECT last_missed "
                                     "FROM missed ORDER BY last_missed DESC LIMIT 1 OFFSET " +
                                     std::to_string(kMaxMissedUrls - 1) + ")";
    return Run(db, kTrim.c_str()) && transaction.Commit();
}

bool RecordMissedUrl(std::u16string_view url) {
    const std::string root = CacheRoot();
    if (root.empty()) {
        return false;
    }
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return TheMissedWriter().Note(root, CacheKeyOf(url),
                                  static_cast<std::int64_t>(FileTimeToTicks(now)));
}

bool FlushMissedUrls() {
    return TheMissedWriter().Flush();
}

bool ListMissedUrls(std::vector<MissedUrl>& urls) {
    urls.clear();
    // This process's latest misses are listed too; if they cannot be
    // written, the list says what the file holds.
    static_cast<void>(FlushMissedUrls());
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
    // A miss noted before is forgotten too, not written after; one that
    // cannot be written is not there to forget.
    static_cast<void>(FlushMissedUrls());
    struct stat info {};
    const std::string root = CacheRoot();
    if (!root.empty() && ::stat((root + "/missed.sqlite").c_str(), &info) != 0) {
        return true; // nothing was ever missed here; no list to make
    }
    const SqliteDb db = OpenList();
    return db && Run(db.get(), "DELETE FROM missed WHERE url = ?1", CacheKeyOf(url));
}

bool ClearMissedUrls() {
    static_cast<void>(FlushMissedUrls()); // as for ForgetMissedUrl
    const SqliteDb db = OpenList();
    return db && Run(db.get(), "DELETE FROM missed");
}

} // namespace urlcache
