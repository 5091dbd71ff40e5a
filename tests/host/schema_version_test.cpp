// SPDX-License-Identifier: Apache-2.0
// A cache made by a newer version of dravik, as the user meets it.
#include "platform/cache/CacheIndex.h"
#include "support/ProgramFixture.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>

namespace {

class SchemaVersion : public ProgramFixture {};

TEST_F(SchemaVersion, ACacheMadeByANewerVersionIsNamedAndLeftAlone) {
    const std::filesystem::path index = m_home / "cache" / "dravik" / "index.sqlite";
    std::filesystem::create_directories(index.parent_path());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(index.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TABLE entries (url TEXT PRIMARY KEY); PRAGMA user_version = 7",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    const std::string bytes = Read(index);
    const Outcome list = Dravik("cache list");
    EXPECT_EQ(list.status, 5);
    EXPECT_EQ(list.err, "dravik cache list: cannot read " + index.string() +
                            ": made by a newer version of dravik (schema 7; this one reads up to " +
                            std::to_string(urlcache::kCacheIndexVersion) + ") (error 1306)\n");
    EXPECT_EQ(Read(index), bytes);
}

} // namespace
