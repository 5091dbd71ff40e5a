// SPDX-License-Identifier: Apache-2.0
#include "platform/cache/Sqlite.h"

#include "platform/cache/HeldReads.h"
#include "platform/kernel/LastError.h"
#include "platform/text/Utf8.h"

#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace urlcache {

namespace {

/// Idle prepared statements by connection and SQL text.
class KeptStatements {
  public:
    sqlite3_stmt* Take(sqlite3* db, const char* sql) {
        const std::lock_guard lock(m_mutex);
        const auto found = m_idle.find({db, sql});
        if (found == m_idle.end() || found->second.empty()) {
            return nullptr;
        }
        sqlite3_stmt* stmt = found->second.back();
        found->second.pop_back();
        return stmt;
    }
    void Keep(sqlite3* db, const char* sql, sqlite3_stmt* stmt) {
        const std::lock_guard lock(m_mutex);
        m_idle[{db, sql}].push_back(stmt);
    }
    void Forget(sqlite3* db) {
        const std::lock_guard lock(m_mutex);
        for (auto it = m_idle.lower_bound({db, std::string()});
             it != m_idle.end() && it->first.first == db;) {
            for (sqlite3_stmt* stmt : it->second) {
                sqlite3_finalize(stmt);
            }
            it = m_idle.erase(it);
        }
    }

  private:
    std::mutex m_mutex;
    std::map<std::pair<sqlite3*, std::string>, std::vector<sqlite3_stmt*>> m_idle;
};

KeptStatements& Kept() {
    static KeptStatements* kept = new KeptStatements(); // outlives every connection
    return *kept;
}

} // namespace

void SqliteCloser::operator()(sqlite3* db) const {
    Kept().Forget(db);
    ForgetHeldReads(db);
    sqlite3_close_v2(db);
}

SqliteDb OpenDatabase(const std::string& path, UrlCacheFailure* failure) {
    sqlite3* raw = nullptr;
    const int rc =
        sqlite3_open_v2(path.c_str(), &raw,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    SqliteDb db(raw);
    if (rc != SQLITE_OK) {
        if (failure != nullptr) {
            *failure = FailureFromSqlite(path, db.get());
        }
        return nullptr;
    }
    return db;
}

bool Execute(sqlite3* db, const char* sql) {
    EndHeldReads(db);
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

Statement::Statement(sqlite3* db, const char* sql) : m_db(db), m_sql(sql) {
    m_stmt = Kept().Take(db, sql);
    if (m_stmt == nullptr &&
        sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
    }
    m_failed = m_stmt == nullptr;
}

Statement::~Statement() {
    if (m_stmt != nullptr) {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
        Kept().Keep(m_db, m_sql, m_stmt);
    }
}

Statement& Statement::Bind(int index, std::int64_t value) {
    if (m_stmt) {
        sqlite3_bind_int64(m_stmt, index, value);
    }
    return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
    if (m_stmt) {
        sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
    }
    return *this;
}

Statement& Statement::Bind(int index, std::u16string_view text) {
    if (m_stmt) {
        sqlite3_bind_text16(m_stmt, index, text.data(),
                            static_cast<int>(text.size() * sizeof(char16_t)), SQLITE_TRANSIENT);
    }
    return *this;
}

Statement& Statement::BindBlob(int index, const void* data, std::size_t size) {
    if (m_stmt) {
        // A zero-length blob still binds as a blob, not as NULL.
        static const std::uint8_t kEmpty = 0;
        sqlite3_bind_blob(m_stmt, index, size != 0 ? data : &kEmpty, static_cast<int>(size),
                          SQLITE_TRANSIENT);
    }
    return *this;
}

bool Statement::Step() {
    if (!m_stmt || m_failed) {
        return false;
    }
    if (sqlite3_stmt_busy(m_stmt) == 0 && sqlite3_stmt_readonly(m_stmt) == 0) {
        EndHeldReads(m_db); // a write starts from the file as it is now
    }
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) {
        return true;
    }
    m_failed = rc != SQLITE_DONE;
    return false;
}

std::int64_t Statement::Int(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

Statement& Statement::BindNull(int index) {
    if (m_stmt) {
        sqlite3_bind_null(m_stmt, index);
    }
    return *this;
}

std::string Statement::Text(int column) const {
    const auto* text = sqlite3_column_text(m_stmt, column);
    const int bytes = sqlite3_column_bytes(m_stmt, column);
    return text == nullptr ? std::string()
                           : std::string(reinterpret_cast<const char*>(text), bytes);
}

std::u16string Statement::Text16(int column) const {
    const auto* text = static_cast<const char16_t*>(sqlite3_column_text16(m_stmt, column));
    const int bytes = sqlite3_column_bytes16(m_stmt, column);
    return text == nullptr ? std::u16string() : std::u16string(text, bytes / sizeof(char16_t));
}

namespace {

bool Run(sqlite3* db, const char* sql) {
    Statement statement(db, sql);
    statement.Step();
    return !statement.Failed();
}

} // namespace

Transaction::Transaction(sqlite3* db, Mode mode) : m_db(db) {
    if (mode == Mode::Write) {
        EndHeldReads(m_db);
    }
    m_nested = sqlite3_get_autocommit(m_db) == 0;
    if (!m_nested) {
        m_begun = Run(m_db, mode == Mode::Write ? "BEGIN IMMEDIATE" : "BEGIN");
        return;
    }
    m_savepoint = mode == Mode::Write;
    m_begun = !m_savepoint || Run(m_db, "SAVEPOINT nested");
}

Transaction::~Transaction() {
    if (!m_begun || m_done) {
        return;
    }
    // SQLite may have rolled the whole transaction back itself (a full
    // disk, say): a rollback of our own would then only fail, and its
    // message would replace the reason the caller reports.
    if (sqlite3_get_autocommit(m_db) != 0) {
        return;
    }
    if (m_savepoint) {
        Run(m_db, "ROLLBACK TO nested");
        Run(m_db, "RELEASE nested");
    } else if (!m_nested) {
        Run(m_db, "ROLLBACK");
    }
}

bool Transaction::Commit() {
    if (!m_begun || m_done) {
        return false;
    }
    m_done = m_nested ? !m_savepoint || Run(m_db, "RELEASE nested") : Run(m_db, "COMMIT");
    return m_done;
}

std::vector<std::uint8_t> Statement::Blob(int column) const {
    const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(m_stmt, column));
    const int bytes = sqlite3_column_bytes(m_stmt, column);
    return data == nullptr ? std::vector<std::uint8_t>()
                           : std::vector<std::uint8_t>(data, data + bytes);
}

std::string Statement::BlobBytes(int column) const {
    const auto* data = static_cast<const char*>(sqlite3_column_blob(m_stmt, column));
    const int bytes = sqlite3_column_bytes(m_stmt, column);
    return data == nullptr ? std::string() : std::string(data, static_cast<std::size_t>(bytes));
}

namespace {

bool Fail(const UrlCacheFailure& why, UrlCacheFailure* failure) {
    if (failure != nullptr) {
        *failure = why;
    }
    return false;
}

UrlCacheFailure NewerFailure(const std::string& path, std::int64_t version, int current) {
    const std::string reason =
        version < 0 ? "no version of dravik makes schema " + std::to_string(version) +
                          " (this one reads up to " + std::to_string(current) + ")"
                    : "made by a newer version of dravik (schema " + std::to_string(version) +
                          "; this one reads up to " + std::to_string(current) + ")";
    return {{}, Utf8ToUtf16(path), ERROR_REVISION_MISMATCH, Utf8ToUtf16(reason)};
}

/// The file's version into `version`; false, with the reason, when it
/// cannot be read or is no layout this program knows.
bool CheckVersion(sqlite3* db, const std::string& path, int current, std::int64_t& version,
                  UrlCacheFailure* failure) {
    Statement read(db, "PRAGMA user_version");
    if (!read.Step()) {
        return Fail(FailureFromSqlite(path, db), failure);
    }
    version = read.Int(0);
    return (version >= 0 && version <= current) ||
           Fail(NewerFailure(path, version, current), failure);
}

/// The layout the file has: as its version says, or as its tables show
/// when it says 0 (a new file has none yet and gets the current layout at
/// once). 0 when it could not be read.
int LayoutOf(sqlite3* db, const SchemaHistory& history, std::int64_t version) {
    if (version != 0) {
        return static_cast<int>(version);
    }
    Statement tables(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' LIMIT 1");
    if (tables.Step()) {
        return history.detect(db);
    }
    return tables.Failed() ? 0 : history.current;
}

/// Takes the file from `version` to the current layout and records it.
bool Migrate(sqlite3* db, const SchemaHistory& history, std::int64_t version) {
    int layout = LayoutOf(db, history, version);
    if (layout <= 0 || layout > history.current) {
        return false;
    }
    for (; layout < history.current; ++layout) {
        if (!history.steps[static_cast<std::size_t>(layout - 1)](db)) {
            return false;
        }
    }
    // The current layout's statements also make what a step leaves alone
    // and a file lacks; on a file that has it all they do nothing.
    const std::string stamp = "PRAGMA user_version = " + std::to_string(history.current);
    return Execute(db, history.create) && Execute(db, stamp.c_str());
}

} // namespace

bool MoveRowsToKeys(sqlite3* db, const char* select, std::u16string (*keyOf)(std::u16string_view),
                    bool (*move)(sqlite3*, std::u16string_view, std::u16string_view)) {
    std::vector<std::u16string> values;
    {
        Statement rows(db, select);
        while (rows.Step()) {
            values.push_back(rows.Text16(0));
        }
        if (rows.Failed()) {
            return false;
        }
    }
    for (const std::u16string& value : values) {
        const std::u16string key = keyOf(value);
        if (key != value && !move(db, value, key)) {
            return false;
        }
    }
    return true;
}

bool RefuseNewerSchema(sqlite3* db, const std::string& path, int current,
                       UrlCacheFailure* failure) {
    std::int64_t version = 0;
    return CheckVersion(db, path, current, version, failure);
}

bool UpgradeSchema(sqlite3* db, const std::string& path, const SchemaHistory& history,
                   UrlCacheFailure* failure) {
    std::int64_t version = 0;
    if (!CheckVersion(db, path, history.current, version, failure)) {
        return false;
    }
    if (version == history.current) {
        return true;
    }
    // Another process may upgrade the file at the same time: the version
    // read again under the write lock says whether this one still must.
    Transaction upgrade(db);
    if (!upgrade.Begun()) {
        return Fail(FailureFromSqlite(path, db), failure);
    }
    if (!CheckVersion(db, path, history.current, version, failure)) {
        return false;
    }
    if (version != history.current && (!Migrate(db, history, version) || !upgrade.Commit())) {
        // Taken before the rollback could replace SQLite's message.
        return Fail(FailureFromSqlite(path, db), failure);
    }
    return true;
}

} // namespace urlcache
