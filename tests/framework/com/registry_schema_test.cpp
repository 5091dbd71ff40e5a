// SPDX-License-Identifier: Apache-2.0
// The registry's file as earlier releases left it is read and written; one
// made by a newer release is refused untouched.
#include "framework/com/Registry.h"
#include "framework/com/RegistryStore.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

void Make(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

std::int64_t Version(const std::string& path) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &stmt, nullptr);
    const std::int64_t value =
        sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : -1;
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return value;
}

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The store's statements as the first release ran them, with a key and its
// default value ("hi" in UTF-16 with its terminator).
constexpr const char* kFirstStore = R"sql(
CREATE TABLE IF NOT EXISTS keys (
    id INTEGER PRIMARY KEY,
    parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,
    name TEXT NOT NULL COLLATE NOCASE,
    UNIQUE (parent, name)
);
CREATE TABLE IF NOT EXISTS key_values (
    key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,
    name TEXT NOT NULL COLLATE NOCASE,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    UNIQUE (key, name)
);
INSERT OR IGNORE INTO keys (id, parent, name) VALUES (1, NULL, 'HKEY_CLASSES_ROOT');
PRAGMA user_version = 1;
INSERT INTO keys (id, parent, name) VALUES (2, 1, 'CLSID');
INSERT INTO key_values (key, name, type, data) VALUES (2, '', 1, X'680069000000');
)sql";

TEST(RegistrySchema, AnEarlierStoreIsReadAndWrittenAndANewerOneIsRefused) {
    const std::string home = std::filesystem::temp_directory_path() /
                             ("dravik-registry-schema-" + std::to_string(::getpid()));
    ::setenv("XDG_DATA_HOME", home.c_str(), 1);
    const std::string path = RegistryFilePath();
    std::filesystem::create_directories(home + "/dravik");
    Make(path, kFirstStore);
    EXPECT_EQ(RegGetString(HKEY_CLASSES_ROOT, u"clsid", nullptr), u"hi");
    ASSERT_EQ(RegSetString(HKEY_CLASSES_ROOT, u"CLSID\\X", u"v", u"2"), ERROR_SUCCESS);
    EXPECT_EQ(RegGetString(HKEY_CLASSES_ROOT, u"CLSID\\X", u"v"), u"2");
    EXPECT_EQ(Version(path), registry::kRegistryVersion);

    Make(path, "PRAGMA user_version = 4");
    const std::string bytes = Bytes(path);
    LSTATUS status = ERROR_SUCCESS;
    EXPECT_EQ(RegGetString(HKEY_CLASSES_ROOT, u"CLSID", nullptr, &status), std::nullopt);
    EXPECT_EQ(status, ERROR_CANTREAD);
    EXPECT_EQ(GetLastRegistryFailure(),
              path + ": made by a newer version of dravik (schema 4; this one reads up to " +
                  std::to_string(registry::kRegistryVersion) + ")");
    EXPECT_EQ(RegSetString(HKEY_CLASSES_ROOT, u"CLSID", u"v", u"3"), ERROR_CANTWRITE);
    EXPECT_EQ(Bytes(path), bytes);
    std::filesystem::remove_all(home);
}

} // namespace
