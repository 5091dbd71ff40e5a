#include "platform/cache/Sqlite.h"

namespace urlcache {

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

Statement::Statement(sqlite3* db, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) == SQLITE_OK) {
        stmt_.reset(raw);
    }
    failed_ = stmt_ == nullptr;
}

Statement& Statement::Bind(int index, std::int64_t value) {
    if (stmt_) {
        sqlite3_bind_int64(stmt_.get(), index, value);
    }
    return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
    if (stmt_) {
        sqlite3_bind_text(stmt_.get(), index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
    }
    return *this;
}

Statement& Statement::Bind(int index, std::u16string_view text) {
    if (stmt_) {
        sqlite3_bind_text16(stmt_.get(), index, text.data(),
                            static_cast<int>(text.size() * sizeof(char16_t)), SQLITE_TRANSIENT);
    }
    return *this;
}

Statement& Statement::BindBlob(int index, const void* data, std::size_t size) {
    if (stmt_) {
        // A zero-length blob still binds as a blob, not as NULL.
        static const std::uint8_t kEmpty = 0;
        sqlite3_bind_blob(stmt_.get(), index, size != 0 ? data : &kEmpty, static_cast<int>(size),
                          SQLITE_TRANSIENT);
    }
    return *this;
}

bool Statement::Step() {
    if (!stmt_ || failed_) {
        return false;
    }
    const int rc = sqlite3_step(stmt_.get());
    if (rc == SQLITE_ROW) {
        return true;
    }
    failed_ = rc != SQLITE_DONE;
    return false;
}

std::int64_t Statement::Int(int column) const {
    return sqlite3_column_int64(stmt_.get(), column);
}

std::string Statement::Text(int column) const {
    const auto* text = sqlite3_column_text(stmt_.get(), column);
    const int bytes = sqlite3_column_bytes(stmt_.get(), column);
    return text == nullptr ? std::string()
                           : std::string(reinterpret_cast<const char*>(text), bytes);
}

std::u16string Statement::Text16(int column) const {
    const auto* text = static_cast<const char16_t*>(sqlite3_column_text16(stmt_.get(), column));
    const int bytes = sqlite3_column_bytes16(stmt_.get(), column);
    return text == nullptr ? std::u16string() : std::u16string(text, bytes / sizeof(char16_t));
}

Transaction::Transaction(sqlite3* db, Mode mode) : db_(db) {
    begun_ = Execute(db_, mode == Mode::Write ? "BEGIN IMMEDIATE" : "BEGIN");
}

Transaction::~Transaction() {
    if (begun_ && !done_) {
        Execute(db_, "ROLLBACK");
    }
}

bool Transaction::Commit() {
    if (!begun_ || done_) {
        return false;
    }
    done_ = Execute(db_, "COMMIT");
    return done_;
}

std::vector<std::uint8_t> Statement::Blob(int column) const {
    const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_.get(), column));
    const int bytes = sqlite3_column_bytes(stmt_.get(), column);
    return data == nullptr ? std::vector<std::uint8_t>()
                           : std::vector<std::uint8_t>(data, data + bytes);
}

} // namespace urlcache
