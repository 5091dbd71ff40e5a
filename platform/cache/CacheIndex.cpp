// SPDX-License-Identifier: Apache-2.0
#include "platform/cache/CacheIndex.h"

#include "platform/cache/CacheKey.h"

#include <chrono>
#include <iterator>
#include <thread>

namespace urlcache {

namespace {

constexpr int kBusyTimeoutMs = 10000;

/// Waits for another process's lock by trying again every millisecond, for
/// up to kBusyTimeoutMs. SQLite's own time-out sleeps up to 100 ms between
/// tries, and would rarely try in the moment a crawling process leaves the
/// write lock free between two batches of entries.
int RetryEveryMillisecond(void*, int tries) {
    if (tries >= kBusyTimeoutMs) {
        return 0;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 1;
}

// The index's layouts, oldest first; kCacheIndexVersion is the last:
//  1. entries under the URL as it was asked for, content files indexed by
//     entries_by_file
//  2. entries under their cache key (CacheKey.h)
//  3. a count of hits per entry
//  4. small bodies kept in their rows
//  5. only rows whose body is a content file indexed by that file: the many
//     small bodies kept in the index would otherwise add a page to every
//     entry's write
constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS entries (
    url TEXT PRIMARY KEY,
    file TEXT NOT NULL,
    size INTEGER NOT NULL,
    last_modified INTEGER NOT NULL,
    expires INTEGER NOT NULL,
    last_sync INTEGER NOT NULL,
    last_access INTEGER NOT NULL,
    headers TEXT NOT NULL,
    use_count INTEGER NOT NULL DEFAULT 0,
    extension TEXT NOT NULL,
    hits INTEGER NOT NULL DEFAULT 0,
    body BLOB
);
CREATE INDEX IF NOT EXISTS entries_by_named_file ON entries(file) WHERE file <> '';
CREATE TABLE IF NOT EXISTS settings (name TEXT PRIMARY KEY, value INTEGER NOT NULL);
)sql";

constexpr const char* kColumns = "url, file, size, last_modified, expires, last_sync, "
                                 "last_access, headers, use_count, extension, hits, "
                                 "body IS NOT NULL";

EntryRecord ReadRecord(const Statement& row) {
    EntryRecord record;
    record.url = row.Text16(0);
    record.file = row.Text(1);
    record.size = static_cast<std::uint64_t>(row.Int(2));
    record.lastModified = static_cast<std::uint64_t>(row.Int(3));
    record.expires = static_cast<std::uint64_t>(row.Int(4));
    record.lastSync = static_cast<std::uint64_t>(row.Int(5));
    record.lastAccess = static_cast<std::uint64_t>(row.Int(6));
    record.headers = row.Text16(7);
    record.useCount = static_cast<std::uint32_t>(row.Int(8));
    record.extension = row.Text16(9);
    record.hitCount = static_cast<std::uint32_t>(row.Int(10));
    record.inIndex = row.Int(11) != 0;
    return record;
}

bool Run(sqlite3* db, const char* sql, std::u16string_view url, std::u16string_view key = {}) {
    Statement statement(db, sql);
    statement.Bind(1, url);
    if (!key.empty()) {
        statement.Bind(2, key);
    }
    statement.Step();
    return !statement.Failed();
}

/// Moves the entry under `url` to `key`. Where one is already there, the
/// later download stays; the other's content file, no longer named, goes in
/// the sweep at opening.
bool MoveEntry(sqlite3* db, std::u16string_view url, std::u16string_view key) {
    return Run(db,
               "DELETE FROM entries WHERE url = ?2 AND last_sync < "
               "(SELECT last_sync FROM entries WHERE url = ?1)",
               url, key) &&
           Run(db, "UPDATE OR IGNORE entries SET url = ?2 WHERE url = ?1", url, key) &&
           Run(db, "DELETE FROM entries WHERE url = ?1", url);
}

/// Layout 1 to 2: entries stored under the URL as it was asked for are
/// found by no look-up, which goes by the key.
bool KeyEntries(sqlite3* db) {
    return MoveRowsToKeys(db, "SELECT url FROM entries", &CacheKeyOf, &MoveEntry);
}

/// Layout 2 to 3: hits start at none.
bool AddHitsColumn(sqlite3* db) {
    return Execute(db, "ALTER TABLE entries ADD COLUMN hits INTEGER NOT NULL DEFAULT 0");
}

/// Layout 3 to 4: every row of such an index names a content file, which
/// stays where it is.
bool AddBodyColumn(sqlite3* db) {
    return Execute(db, "ALTER TABLE entries ADD COLUMN body BLOB");
}

/// Layout 4 to 5.
bool IndexOnlyNamedFiles(sqlite3* db) {
    return Execute(db, "DROP INDEX IF EXISTS entries_by_file;"
                       "CREATE INDEX IF NOT EXISTS entries_by_named_file ON entries(file) "
                       "WHERE file <> ''");
}

/// 1 when the index has the column or index `sql` asks for by `name`, 0
/// when not, -1 when it could not be read.
int Has(sqlite3* db, const char* sql, std::string_view name) {
    Statement query(db, sql);
    query.Bind(1, name);
    const bool found = query.Step();
    return query.Failed() ? -1 : found ? 1 : 0;
}

/// The layout of an index made before layouts were numbered, by what it
/// has. Layouts 1 and 2 look alike: such an index is taken for 1, as keying
/// entries already keyed changes nothing.
int DetectLayout(sqlite3* db) {
    constexpr const char* kColumn = "SELECT 1 FROM pragma_table_info('entries') WHERE name = ?1";
    constexpr const char* kIndex = "SELECT 1 FROM sqlite_master WHERE type = 'index' AND name = ?1";
    const int hits = Has(db, kColumn, "hits");
    const int body = Has(db, kColumn, "body");
    const int named = Has(db, kIndex, "entries_by_named_file");
    if (hits < 0 || body < 0 || named < 0) {
        return 0;
    }
    return hits == 0 ? 1 : body == 0 ? 3 : named == 0 ? 4 : 5;
}

constexpr SchemaStep kSteps[] = {&KeyEntries, &AddHitsColumn, &AddBodyColumn, &IndexOnlyNamedFiles};
static_assert(std::size(kSteps) == kCacheIndexVersion - 1);
constexpr SchemaHistory kHistory{kCacheIndexVersion, kSchema, &DetectLayout, kSteps};

/// Switching to WAL needs a moment without other writers; a second process
/// opening the cache at the same time may see SQLITE_BUSY here, so retry.
/// Any other failure (a read-only folder, say) is final at once.
bool UseWriteAheadLog(sqlite3* db) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        Statement mode(db, "PRAGMA journal_mode=WAL");
        if (mode.Step() && mode.Text(0) == "wal") {
            return true;
        }
        const int code = sqlite3_errcode(db) & 0xFF;
        if (code != SQLITE_BUSY && code != SQLITE_LOCKED) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

} // namespace

std::unique_ptr<CacheIndex> CacheIndex::Open(const std::string& path, UrlCacheFailure* failure) {
    SqliteDb db = OpenDatabase(path, failure);
    if (!db) {
        return nullptr;
    }
    sqlite3_busy_handler(db.get(), &RetryEveryMillisecond, nullptr);
    // Before anything writes: switching to WAL would rewrite the header of
    // an index a newer release made.
    if (!RefuseNewerSchema(db.get(), path, kCacheIndexVersion, failure)) {
        return nullptr;
    }
    const auto fail = [&]() -> std::unique_ptr<CacheIndex> {
        if (failure != nullptr) {
            *failure = FailureFromSqlite(path, db.get());
        }
        return nullptr;
    };
    // A small page cache: SQLite's default of 2 MB would fill as a crawl
    // adds entries, and a crawl's lookups touch few pages more than once.
    // Checkpoints every 16 MB of log rather than 4 MB: each one syncs the
    // file twice, and the same few index pages are in every entry's write.
    if (!UseWriteAheadLog(db.get()) || !Execute(db.get(), "PRAGMA synchronous=NORMAL") ||
        !Execute(db.get(), "PRAGMA cache_size=-256") ||
        !Execute(db.get(), "PRAGMA wal_autocheckpoint=4000")) {
        return fail();
    }
    if (!UpgradeSchema(db.get(), path, kHistory, failure)) {
        return nullptr;
    }
    return std::make_unique<CacheIndex>(std::move(db), path);
}

UrlCacheFailure CacheIndex::LastFailure() const {
    return FailureFromSqlite(m_path, m_db.get());
}

bool CacheIndex::Find(std::u16string_view url, std::optional<EntryRecord>& found) {
    if (!m_waiting.empty()) {
        if (const auto row = m_waiting.find(std::u16string(url)); row != m_waiting.end()) {
            found = row->second.record;
            return true;
        }
    }
    static const std::string sql =
        std::string("SELECT ") + kColumns + " FROM entries WHERE url = ?1";
    Statement query(m_db.get(), sql.c_str());
    query.Bind(1, url);
    found.reset();
    if (query.Step()) {
        found = ReadRecord(query);
    }
    return !query.Failed();
}

bool CacheIndex::Put(const EntryRecord& r, std::string_view body) {
    if (m_staging && r.inIndex) {
        WaitingRow& row = m_waiting[r.url];
        m_waitingBytes -= row.body.size();
        row.record = r;
        row.body.assign(body);
        m_waitingBytes += body.size();
        return true;
    }
    return Write(r, body);
}

bool CacheIndex::WriteWaitingRows() {
    for (const auto& [url, row] : m_waiting) {
        if (!Write(row.record, row.body)) {
            return false;
        }
    }
    return true;
}

void CacheIndex::ForgetWaitingRow(std::u16string_view url) {
    if (const auto row = m_waiting.find(std::u16string(url)); row != m_waiting.end()) {
        m_waitingBytes -= row->second.body.size();
        m_waiting.erase(row);
    }
}

void CacheIndex::ForgetWaitingRows() {
    m_waiting.clear();
    m_waitingBytes = 0;
}

bool CacheIndex::Write(const EntryRecord& r, std::string_view body) {
    static const std::string sql =
        "INSERT OR REPLACE INTO entries (url, file, size, last_modified, expires, last_sync, "
        "last_access, headers, use_count, extension, hits, body) "
        "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)";
    Statement insert(m_db.get(), sql.c_str());
    insert.Bind(1, std::u16string_view(r.url))
        .Bind(2, std::string_view(r.file))
        .Bind(3, static_cast<std::int64_t>(r.size))
        .Bind(4, static_cast<std::int64_t>(r.lastModified))
        .Bind(5, static_cast<std::int64_t>(r.expires))
        .Bind(6, static_cast<std::int64_t>(r.lastSync))
        .Bind(7, static_cast<std::int64_t>(r.lastAccess))
        .Bind(8, std::u16string_view(r.headers))
        .Bind(9, static_cast<std::int64_t>(r.useCount))
        .Bind(10, std::u16string_view(r.extension))
        .Bind(11, static_cast<std::int64_t>(r.hitCount));
    if (r.inIndex) {
        insert.BindBlob(12, body.data(), body.size());
    } else {
        insert.BindNull(12);
    }
    insert.Step();
    return !insert.Failed();
}

bool CacheIndex::ReadBody(std::u16string_view url, std::string& body, bool& found) {
    if (!m_waiting.empty()) {
        if (const auto row = m_waiting.find(std::u16string(url)); row != m_waiting.end()) {
            found = true;
            body = row->second.body;
            return true;
        }
    }
    Statement query(m_db.get(), "SELECT body FROM entries WHERE url = ?1 AND body IS NOT NULL");
    query.Bind(1, url);
    found = query.Step();
    body.clear();
    if (found) {
        const std::vector<std::uint8_t> bytes = query.Blob(0);
        body.assign(bytes.begin(), bytes.end());
    }
    return !query.Failed();
}

bool CacheIndex::MoveBodyToFile(std::u16string_view url, const std::string& file) {
    Statement update(m_db.get(), "UPDATE entries SET file = ?2, body = NULL WHERE url = ?1");
    update.Bind(1, url).Bind(2, std::string_view(file));
    update.Step();
    return !update.Failed();
}

bool CacheIndex::SetUseCount(std::u16string_view url, std::uint32_t count) {
    Statement update(m_db.get(), "UPDATE entries SET use_count = ?2 WHERE url = ?1");
    update.Bind(1, url).Bind(2, static_cast<std::int64_t>(count));
    update.Step();
    return !update.Failed();
}

bool CacheIndex::CountRetrieval(std::u16string_view url) {
    Statement update(
        m_db.get(), "UPDATE entries SET use_count = use_count + 1, hits = hits + 1 WHERE url = ?1");
    update.Bind(1, url);
    update.Step();
    return !update.Failed();
}

bool CacheIndex::Remove(std::u16string_view url) {
    Statement remove(m_db.get(), "DELETE FROM entries WHERE url = ?1");
    remove.Bind(1, url);
    remove.Step();
    return !remove.Failed();
}

bool CacheIndex::IsFileReferenced(const std::string& file, bool& referenced) {
    Statement query(m_db.get(), "SELECT 1 FROM entries WHERE file = ?1 AND file <> '' LIMIT 1");
    query.Bind(1, std::string_view(file));
    referenced = query.Step();
    return !query.Failed();
}

bool CacheIndex::ListNamedFiles(std::unordered_set<std::string>& files) {
    Statement query(m_db.get(), "SELECT file FROM entries WHERE file <> ''");
    files.clear();
    while (query.Step()) {
        files.insert(query.Text(0));
    }
    return !query.Failed();
}

void CacheIndex::WaitWhenBusy(bool wait) {
    sqlite3_busy_handler(m_db.get(), wait ? &RetryEveryMillisecond : nullptr, nullptr);
}

bool CacheIndex::ListAll(std::vector<EntryRecord>& records) {
    const std::string sql = std::string("SELECT ") + kColumns + " FROM entries ORDER BY url";
    Statement query(m_db.get(), sql.c_str());
    records.clear();
    while (query.Step()) {
        records.push_back(ReadRecord(query));
    }
    return !query.Failed();
}

bool CacheIndex::ReadSetting(const char* name, std::int64_t& value, bool& present) {
    Statement query(m_db.get(), "SELECT value FROM settings WHERE name = ?1");
    query.Bind(1, std::string_view(name));
    present = query.Step();
    if (present) {
        value = query.Int(0);
    }
    return !query.Failed();
}

bool CacheIndex::WriteSetting(const char* name, std::int64_t value) {
    Statement upsert(m_db.get(), "INSERT OR REPLACE INTO settings (name, value) VALUES (?1, ?2)");
    upsert.Bind(1, std::string_view(name)).Bind(2, value);
    upsert.Step();
    return !upsert.Failed();
}

} // namespace urlcache
