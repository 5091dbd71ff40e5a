// SPDX-License-Identifier: Apache-2.0
// Small owning wrappers over SQLite: a database connection, a prepared
// statement and a write transaction; and the versions of a database's
// layout, kept in its user_version.
//
// Prepared statements are kept per connection and reused: preparing one
// costs more than running most of the cache's statements.
#pragma once

#include "platform/cache/CacheFailure.h"

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace urlcache {

/// Finalizes the connection's kept statements, then closes it.
struct SqliteCloser {
    void operator()(sqlite3* db) const;
};
using SqliteDb = std::unique_ptr<sqlite3, SqliteCloser>;

/// Opens (creating) the database file at `path`; null on failure, with
/// the reason in `*failure` when it is given.
SqliteDb OpenDatabase(const std::string& path, UrlCacheFailure* failure = nullptr);

/// Runs statements that return no rows; false on failure.
[[nodiscard]] bool Execute(sqlite3* db, const char* sql);

class Statement {
  public:
    /// A kept statement for `sql` on `db`, or a freshly prepared one.
    Statement(sqlite3* db, const char* sql);
    /// Resets the statement and keeps it for the next user.
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Valid() const { return m_stmt != nullptr; }

    Statement& Bind(int index, std::int64_t value);
    Statement& Bind(int index, std::string_view text);
    Statement& Bind(int index, std::u16string_view text);
    Statement& BindNull(int index);
    Statement& BindBlob(int index, const void* data, std::size_t size);

    /// Moves to the next row: true when there is one. A failure ends the
    /// rows and is remembered in Failed().
    bool Step();
    bool Failed() const { return m_failed; }

    std::int64_t Int(int column) const;
    std::string Text(int column) const;
    std::u16string Text16(int column) const;
    std::vector<std::uint8_t> Blob(int column) const;
    /// The blob's bytes as a string (empty for NULL).
    std::string BlobBytes(int column) const;

  private:
    sqlite3* m_db;
    const char* m_sql;
    sqlite3_stmt* m_stmt = nullptr;
    bool m_failed = false;
};

/// A transaction, rolled back unless Commit succeeded. A write transaction
/// takes the write lock at once (BEGIN IMMEDIATE) so that two processes
/// never both read and then fight to write; a read transaction only gives
/// its reads one consistent view. Inside a transaction already open on the
/// connection a write is a savepoint of it and a read needs nothing.
class Transaction {
  public:
    enum class Mode { Read, Write };
    explicit Transaction(sqlite3* db, Mode mode = Mode::Write);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    bool Begun() const { return m_begun; }
    [[nodiscard]] bool Commit();

  private:
    sqlite3* m_db;
    bool m_begun = false;
    bool m_done = false;
    bool m_nested = false;
    bool m_savepoint = false;
};

/// For a migration: every text value the query `select` gives that differs
/// from `keyOf` of itself is handed to `move` with that key, after all were
/// read; false on a database failure or when `move` fails.
[[nodiscard]] bool MoveRowsToKeys(sqlite3* db, const char* select,
                                  std::u16string (*keyOf)(std::u16string_view),
                                  bool (*move)(sqlite3*, std::u16string_view, std::u16string_view));

/// Turns layout n of a database into layout n + 1, inside the transaction
/// of the upgrade; false on a database failure.
using SchemaStep = bool (*)(sqlite3* db);

/// A database's layouts. Each is numbered, oldest 1, and the number of the
/// one a file has is kept in its user_version; files made before that was
/// kept say 0.
struct SchemaHistory {
    int current = 0;              ///< the layout this program makes and reads
    const char* create = nullptr; ///< makes it: statements with IF NOT EXISTS
    /// The layout of a file that says 0 yet holds tables (1 to current); 0
    /// when it could not be read.
    int (*detect)(sqlite3* db) = nullptr;
    /// steps[n - 1] turns layout n into n + 1: current - 1 steps.
    std::span<const SchemaStep> steps;
};

/// Fails, writing nothing, when the file on `db` says a layout above
/// `current` (made by a newer release) or cannot be read; `*failure`, when
/// given, names `path` and says why.
[[nodiscard]] bool RefuseNewerSchema(sqlite3* db, const std::string& path, int current,
                                     UrlCacheFailure* failure);

/// Brings the file on `db` to `history.current`: a new file gets that
/// layout, an older one takes each step from its own, all in one write
/// transaction that also records the version. A file already current costs
/// one read; one from a newer release is refused as RefuseNewerSchema
/// does. On failure `*failure`, when given, names `path` and says why.
[[nodiscard]] bool UpgradeSchema(sqlite3* db, const std::string& path, const SchemaHistory& history,
                                 UrlCacheFailure* failure);

} // namespace urlcache
