// SPDX-License-Identifier: Apache-2.0
// The registry's file as earlier releases left it is read and written; one
// made by a newer release is refused untouched.
#include "framework/com/Registry.h"
#include "framework/com/RegistryStore.h"
#include "support/DatabaseFile.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

using namespace testsupport;

namespace {

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
    ASSERT_TRUE(MakeDatabase(path, kFirstStore));
    EXPECT_EQ(RegGetString(HKEY_CLASSES_ROOT, u"clsid", nullptr), u"hi");
    ASSERT_EQ(RegSetString(HKEY_CLASSES_ROOT, u"CLSID\\X", u"v", u"2"), ERROR_SUCCESS);
    EXPECT_EQ(RegGetString(HKEY_CLASSES_ROOT, u"CLSID\\X", u"v"), u"2");
    EXPECT_EQ(QueryDatabase(path, "PRAGMA user_version"), registry::kRegistryVersion);

    ASSERT_TRUE(MakeDatabase(path, "PRAGMA user_version = 4"));
    const std::string bytes = FileBytes(path);
    LSTATUS status = ERROR_SUCCESS;
    EXPECT_EQ(RegGetString(HKEY_CLASSES_ROOT, u"CLSID", nullptr, &status), std::nullopt);
    EXPECT_EQ(status, ERROR_CANTREAD);
    EXPECT_EQ(GetLastRegistryFailure(),
              path + ": made by a newer version of dravik (schema 4; this one reads up to " +
                  std::to_string(registry::kRegistryVersion) + ")");
    EXPECT_EQ(RegSetString(HKEY_CLASSES_ROOT, u"CLSID", u"v", u"3"), ERROR_CANTWRITE);
    EXPECT_EQ(FileBytes(path), bytes);
    std::filesystem::remove_all(home);
}

} // namespace
