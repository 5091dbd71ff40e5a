// SPDX-License-Identifier: Apache-2.0
#include "platform/cache/Sqlite.h"

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
        const std::lock_guard lock(mutex_);
        const auto found = idle_.find({db, sql});
        if (found == idle_.end() || found->second.empty()) {
            return nullptr;
        }
        sqlite3_stmt* stmt = found->second.back();
        found->second.pop_back();
        return stmt;
    }
    void Keep(sqlite3* db, const char* sql, sqlite3_stmt* stmt) {
        const std::lock_guard lock(mutex_);
        idle_[{db, sql}].push_back(stmt);
    }
    void Forget(sqlite3* db) {
        const std::lock_guard lock(mutex_);
        for (auto it = idle_.lower_bound({db, std::string()});
             it != idle_.end() && it->first.first == db;) {
            for (sqlite3_stmt* stmt : it->second) {
                sqlite3_finalize(stmt);
            }
            it = idle_.erase(it);
        }
    }

  private:
    std::mutex mutex_;
    std::map<std::pair<sqlite3*, std::string>, std::vector<sqlite3_stmt*>> idle_;
};

KeptStatements& Kept() {
    static KeptStatements* kept = new KeptStatements(); // outlives every connection
    return *kept;
}

} // namespace

void SqliteCloser::operator()(sqlite3* db) const {
    Kept().Forget(db);
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
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

Statement::Statement(sqlite3* db, const char* sql) : db_(db), sql_(sql) {
    stmt_ = Kept().Take(db, sql);
    if (stmt_ == nullptr &&
        sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
    failed_ = stmt_ == nullptr;
}

Statement::~Statement() {
    if (stmt_ != nullptr) {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
        Kept().Keep(db_, sql_, stmt_);
    }
}

Statement& Statement::Bind(int index, std::int64_t value) {
    if (stmt_) {
        sqlite3_bind_int64(stmt_, index, value);
    }
    return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
    if (stmt_) {
        sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
    }
    return *this;
}

Statement& Statement::Bind(int index, std::u16string_view text) {
    if (stmt_) {
        sqlite3_bind_text16(stmt_, index, text.data(),
                            static_cast<int>(text.size() * sizeof(char16_t)), SQLITE_TRANSIENT);
    }
    return *this;
}

Statement& Statement::BindBlob(int index, const void* data, std::size_t size) {
    if (stmt_) {
        // A zero-length blob still binds as a blob, not as NULL.
        static const std::uint8_t kEmpty = 0;
        sqlite3_bind_blob(stmt_, index, size != 0 ? data : &kEmpty, static_cast<int>(size),
                          SQLITE_TRANSIENT);
    }
    return *this;
}

bool Statement::Step() {
    if (!stmt_ || failed_) {
        return false;
    }
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) {
        return true;
    }
    failed_ = rc != SQLITE_DONE;
    return false;
}

std::int64_t Statement::Int(int column) const {
    return sqlite3_column_int64(stmt_, column);
}

Statement& Statement::BindNull(int index) {
    if (stmt_) {
        sqlite3_bind_null(stmt_, index);
    }
    return *this;
}

std::string Statement::Text(int column) const {
    const auto* text = sqlite3_column_text(stmt_, column);
    const int bytes = sqlite3_column_bytes(stmt_, column);
    return text == nullptr ? std::string()
                           : std::string(reinterpret_cast<const char*>(text), bytes);
}

std::u16string Statement::Text16(int column) const {
    const auto* text = static_cast<const char16_t*>(sqlite3_column_text16(stmt_, column));
    const int bytes = sqlite3_column_bytes16(stmt_, column);
    return text == nullptr ? std::u16string() : std::u16string(text, bytes / sizeof(char16_t));
}

namespace {

bool Run(sqlite3* db, const char* sql) {
    Statement statement(db, sql);
    statement.Step();
    return !statement.Failed();
}

} // namespace

Transaction::Transaction(sqlite3* db, Mode mode) : db_(db) {
    nested_ = sqlite3_get_autocommit(db_) == 0;
    if (!nested_) {
        begun_ = Run(db_, mode == Mode::Write ? "BEGIN IMMEDIATE" : "BEGIN");
        return;
    }
    savepoint_ = mode == Mode::Write;
    begun_ = !savepoint_ || Run(db_, "SAVEPOINT nested");
}

Transaction::~Transaction() {
    if (!begun_ || done_) {
        return;
    }
    // SQLite may have rolled the whole transaction back itself (a full
    // disk, say): a rollback of our own would then only fail, and its
    // message would replace the reason the caller reports.
    if (sqlite3_get_autocommit(db_) != 0) {
        return;
    }
    if (savepoint_) {
        Run(db_, "ROLLBACK TO nested");
        Run(db_, "RELEASE nested");
    } else if (!nested_) {
        Run(db_, "ROLLBACK");
    }
}

bool Transaction::Commit() {
    if (!begun_ || done_) {
        return false;
    }
    done_ = nested_ ? !savepoint_ || Run(db_, "RELEASE nested") : Run(db_, "COMMIT");
    return done_;
}

std::vector<std::uint8_t> Statement::Blob(int column) const {
    const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, column));
    const int bytes = sqlite3_column_bytes(stmt_, column);
    return data == nullptr ? std::vector<std::uint8_t>()
                           : std::vector<std::uint8_t>(data, data + bytes);
}

std::string Statement::BlobBytes(int column) const {
    const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
    const int bytes = sqlite3_column_bytes(stmt_, column);
    return data == nullptr ? std::string() : std::string(data, static_cast<std::size_t>(bytes));
}

} // namespace urlcache
