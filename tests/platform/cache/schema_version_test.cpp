// SPDX-License-Identifier: Apache-2.0
// The cache's index and its list of misses as earlier releases left them:
// each layout is brought up to date with its rows, and a file made by a
// newer release is refused untouched.
#include "platform/cache/CacheIndex.h"
#include "platform/cache/MissedUrls.h"
#include "platform/kernel/LastError.h"
#include "support/CacheHome.h"
#include "support/DatabaseFile.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <unistd.h>

#include <filesystem>

using namespace testsupport;

namespace {

/// ASCII text as UTF-16.
std::u16string U(const std::string& text) {
    return {text.begin(), text.end()};
}

// The index's statements as each earlier release ran them: the entries
// table with the columns it had, and the index of content files it kept.
std::string IndexLayout(const char* moreColumns, const char* fileIndex) {
    return std::string(R"sql(
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
    extension TEXT NOT NULL)sql") +
           moreColumns + "\n);\n" + fileIndex +
           "CREATE TABLE IF NOT EXISTS settings (name TEXT PRIMARY KEY, value INTEGER NOT NULL);\n";
}
constexpr const char* kFileIndex = "CREATE INDEX IF NOT EXISTS entries_by_file ON entries(file);\n";
const std::string kUnkeyedIndex = IndexLayout("", kFileIndex);
const std::string kIndexWithHits =
    IndexLayout(",\n    hits INTEGER NOT NULL DEFAULT 0", kFileIndex);
const std::string kIndexWithBodies =
    IndexLayout(",\n    hits INTEGER NOT NULL DEFAULT 0,\n    body BLOB", kFileIndex);
const std::string kUnversionedIndex =
    IndexLayout(",\n    hits INTEGER NOT NULL DEFAULT 0,\n    body BLOB",
                "DROP INDEX IF EXISTS entries_by_file;\nCREATE INDEX IF NOT EXISTS "
                "entries_by_named_file ON entries(file) WHERE file <> '';\n");

constexpr const char* kMissedList = R"sql(
CREATE TABLE IF NOT EXISTS missed (
    url TEXT PRIMARY KEY,
    first_missed INTEGER NOT NULL,
    last_missed INTEGER NOT NULL,
    count INTEGER NOT NULL
);
CREATE INDEX IF NOT EXISTS missed_by_time ON missed(last_missed);
)sql";

TEST(SchemaVersion, IndexesOfEarlierLayoutsKeepTheirEntriesAndANewerIndexIsRefused) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("dravik-schema-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    struct Case {
        const std::string& schema;
        std::string rows;
        const char16_t* url; // looked up after the upgrade
        std::string file;
        std::uint32_t hits;
        std::string body;
        std::size_t entries;
    };
    const Case cases[] = {
        // Entries under the URL as asked for: two spellings of one address
        // become one entry, the later download.
        {kUnkeyedIndex,
         "INSERT INTO entries VALUES ('HTTP://Example.COM:80/old', 'old.txt', 4, 0, 0, 1, 1, '', "
         "0, 'txt'), ('http://example.com/new', 'n1.txt', 2, 0, 0, 1, 1, '', 0, 'txt'), "
         "('HTTP://example.com/new', 'n2.txt', 2, 0, 0, 2, 2, '', 0, 'txt');",
         u"http://example.com/new", "n2.txt", 0, "", 2},
        {kIndexWithHits,
         "INSERT INTO entries VALUES ('http://example.com/h', 'h.txt', 3, 0, 0, 1, 1, '', 0, "
         "'txt', 7);",
         u"http://example.com/h", "h.txt", 7, "", 1},
        {kIndexWithBodies,
         "INSERT INTO entries VALUES ('http://example.com/s', '', 5, 0, 0, 1, 1, '', 0, 'txt', 2, "
         "X'736d616c6c');",
         u"http://example.com/s", "", 2, "small", 1},
        {kUnversionedIndex,
         "INSERT INTO entries VALUES ('http://example.com/s', '', 5, 0, 0, 1, 1, '', 0, 'txt', 2, "
         "X'736d616c6c');",
         u"http://example.com/s", "", 2, "small", 1},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE("earlier layout " + std::to_string(i));
        const Case& c = cases[i];
        const std::string path = (dir / ("index" + std::to_string(i) + ".sqlite")).string();
        ASSERT_TRUE(MakeDatabase(path, std::string(c.schema) + c.rows));
        const auto index = urlcache::CacheIndex::Open(path);
        ASSERT_NE(index, nullptr);
        std::optional<urlcache::EntryRecord> found;
        ASSERT_TRUE(index->Find(c.url, found));
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(found->file, c.file);
        EXPECT_EQ(found->hitCount, c.hits);
        std::string body;
        bool inIndex = false;
        ASSERT_TRUE(index->ReadBody(c.url, body, inIndex));
        EXPECT_EQ(body, c.body);
        std::vector<urlcache::EntryRecord> all;
        ASSERT_TRUE(index->ListAll(all));
        EXPECT_EQ(all.size(), c.entries);
        EXPECT_EQ(QueryDatabase(path, "PRAGMA user_version"), urlcache::kCacheIndexVersion);
        EXPECT_EQ(QueryDatabase(path, "SELECT group_concat(name) = 'entries_by_named_file' FROM "
                                      "sqlite_master WHERE name LIKE 'entries_by_%'"),
                  1);
    }
    std::optional<urlcache::EntryRecord> old;
    ASSERT_TRUE(urlcache::CacheIndex::Open((dir / "index0.sqlite").string())
                    ->Find(u"http://example.com/old", old));
    EXPECT_TRUE(old.has_value()) << "an entry under its URL as asked for is found by its key";

    const std::string newer = (dir / "newer.sqlite").string();
    ASSERT_TRUE(MakeDatabase(newer, std::string(kUnversionedIndex) + "PRAGMA user_version = 7;"));
    const std::string bytes = FileBytes(newer);
    UrlCacheFailure failure;
    EXPECT_EQ(urlcache::CacheIndex::Open(newer, &failure), nullptr);
    EXPECT_EQ(failure.path, U(newer));
    EXPECT_EQ(failure.error, ERROR_REVISION_MISMATCH);
    EXPECT_EQ(failure.reason,
              U("made by a newer version of dravik (schema 7; this one reads up to " +
                std::to_string(urlcache::kCacheIndexVersion) + ")"));
    EXPECT_EQ(FileBytes(newer), bytes);
    EXPECT_FALSE(std::filesystem::exists(newer + "-wal"));
    std::filesystem::remove_all(dir);
}

TEST(SchemaVersion, AnEarlierMissedListIsKeyedAndANewerOneIsRefused) {
    const testsupport::CacheHome home;
    std::filesystem::create_directories(home.CacheDir());
    const std::string path = home.CacheDir() + "/missed.sqlite";
    // Misses under the URL as asked for: two spellings of one address count
    // as one.
    ASSERT_TRUE(MakeDatabase(
        path, std::string(kMissedList) +
                  "INSERT INTO missed VALUES ('HTTP://A.example:80/x', 10, 20, 2), "
                  "('http://a.example/x', 5, 15, 3), ('http://b.example/y', 1, 1, 1);"));
    std::vector<urlcache::MissedUrl> missed;
    ASSERT_TRUE(urlcache::ListMissedUrls(missed));
    ASSERT_EQ(missed.size(), 2u);
    EXPECT_EQ(missed[0].url, u"http://a.example/x");
    EXPECT_EQ(missed[0].firstMissed, 5u);
    EXPECT_EQ(missed[0].lastMissed, 20u);
    EXPECT_EQ(missed[0].count, 5u);
    EXPECT_EQ(missed[1].url, u"http://b.example/y");
    EXPECT_EQ(QueryDatabase(path, "PRAGMA user_version"), urlcache::kMissedListVersion);
    ASSERT_TRUE(urlcache::ForgetMissedUrl(u"HTTP://A.EXAMPLE/x"));
    ASSERT_TRUE(urlcache::ListMissedUrls(missed));
    EXPECT_EQ(missed.size(), 1u);

    std::filesystem::remove(path);
    ASSERT_TRUE(MakeDatabase(path, std::string(kMissedList) + "PRAGMA user_version = 9;"));
    const std::string bytes = FileBytes(path);
    EXPECT_FALSE(urlcache::ListMissedUrls(missed));
    UrlCacheFailure failure;
    ASSERT_TRUE(GetLastUrlCacheFailure(failure));
    EXPECT_EQ(failure.path, U(path));
    EXPECT_EQ(failure.reason,
              U("made by a newer version of dravik (schema 9; this one reads up to " +
                std::to_string(urlcache::kMissedListVersion) + ")"));
    EXPECT_TRUE(urlcache::RecordMissedUrl(u"http://c.example/"));
    EXPECT_FALSE(urlcache::FlushMissedUrls());
    EXPECT_FALSE(urlcache::ClearMissedUrls());
    EXPECT_EQ(FileBytes(path), bytes);
}

} // namespace
