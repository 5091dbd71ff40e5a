// SPDX-License-Identifier: Apache-2.0
// SQLite files as a test makes and reads them, beside the product's own
// connections: a layout of an earlier release, a version of a later one.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

namespace testsupport {

/// Runs `sql` on the database file at `path`, creating it when missing.
inline ::testing::AssertionResult MakeDatabase(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK ||
        sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        const std::string why = sqlite3_errmsg(db);
        sqlite3_close(db);
        return ::testing::AssertionFailure() << path << ": " << why;
    }
    sqlite3_close(db);
    return ::testing::AssertionSuccess();
}

/// The first column of the first row `sql` gives on the file at `path`; -1
/// when there is none.
inline std::int64_t QueryDatabase(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    const std::int64_t value =
        sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : -1;
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return value;
}

/// The bytes of the file at `path`, to see that nothing rewrote it.
inline std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

} // namespace testsupport
