// SPDX-License-Identifier: Apache-2.0
// Opened copies, removals and an index of an earlier layout through the
// cache's native face, and the list of URLs missed while offline.
#include "platform/cache/CacheStore.h"
#include "platform/cache/MissedUrls.h"
#include "support/CacheHome.h"
#include "support/ChildProcess.h"
#include "support/InetTestSupport.h"
#include "support/TestServers.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>

using namespace testsupport;

namespace {

class CacheCopiesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_server.Routes().Get(
            R"(/n/(\d+))", [this](const httplib::Request& req, httplib::Response& res) {
                res.set_content("body " + req.matches[1].str() + " v" + std::to_string(++m_version),
                                "text/plain");
            });
        m_server.Routes().Get("/old", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("/big");
        });
        // Large enough for a file of its own.
        m_server.Routes().Get("/big", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(300000, 'b'), "text/plain");
        });
        m_server.Start();
        m_session = OpenSession();
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_server.Port()) + path;
    }
    void Get(const std::string& path) {
        ASSERT_EQ(Fetch(m_session.Get(), m_server.Port(), W(path), INTERNET_FLAG_NEED_FILE).status,
                  200u);
    }
    static std::string Read(const urlcache::StoredCopy& copy, std::uint64_t offset,
                            std::size_t length) {
        std::string out(length, '\0');
        const auto got = copy.Read(offset, out.data(), length);
        return got ? out.substr(0, *got) : "failed";
    }
    /// Every URL and hit count, from the listing.
    static std::vector<std::pair<std::string, std::uint32_t>> Listed() {
        std::vector<std::pair<std::string, std::uint32_t>> seen;
        const auto listed = urlcache::ListEntries();
        EXPECT_TRUE(listed.HasValue());
        if (!listed) {
            return seen;
        }
        for (const urlcache::StoredEntry& entry : *listed) {
            seen.emplace_back(entry.url, entry.hits);
        }
        return seen;
    }

    CacheHome m_home;
    LocalServer m_server;
    Handle m_session;
    std::atomic<int> m_version{0};
};

TEST_F(CacheCopiesTest, ACopyReadsTheBodyAsItWasAndCountsAHit) {
    Get("/n/1");
    const std::string url = Url("/n/1");
    const auto copy = urlcache::OpenCopy(url);
    ASSERT_TRUE(copy.HasValue());
    EXPECT_EQ((*copy)->Entry().url, url);
    EXPECT_EQ(Read(**copy, 2, 4), "dy 1");
    EXPECT_EQ(Read(**copy, 100, 4), "");
    Get("/n/1"); // a new download while the copy is open
    EXPECT_EQ(Read(**copy, 0, 100), "body 1 v1");
    EXPECT_EQ(LookUp(W(url)).useCount, 0u) << "a copy takes no lock";

    const auto big = urlcache::OpenCopy(Url("/big"));
    EXPECT_TRUE(big.Missing());
    Get("/big");
    const auto file = urlcache::OpenCopy(Url("/big"));
    ASSERT_TRUE(file.HasValue());
    ASSERT_TRUE(urlcache::Remove(Url("/big")).HasValue()); // the open file stays readable
    EXPECT_FALSE(std::filesystem::exists((*file)->Entry().file));
    EXPECT_EQ(Read(**file, 299998, 10), "bb");
    EXPECT_EQ(Listed(), (std::vector<std::pair<std::string, std::uint32_t>>{{url, 1}}));
}

TEST_F(CacheCopiesTest, RemovingTakesTheEntryAndTheContentNoOtherEntryShares) {
    Get("/old"); // stored under /old and /big, one content file
    const std::string file = LookUp(W(Url("/big"))).localFile;
    EXPECT_TRUE(urlcache::Remove(Url("/old#part")).HasValue());
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_TRUE(urlcache::Remove(Url("/big")).HasValue());
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(urlcache::Remove(Url("/big")).Missing());

    Get("/big");
    std::filesystem::remove(LookUp(W(Url("/big"))).localFile);
    EXPECT_TRUE(urlcache::Remove(Url("/big")).HasValue()) << "a row whose file has gone";
    Get("/n/2"); // a body kept in the index goes with its row
    EXPECT_TRUE(urlcache::Remove(Url("/n/2")).HasValue());
    EXPECT_TRUE(urlcache::OpenCopy(Url("/n/2")).Missing());
    EXPECT_TRUE(Listed().empty());
}

TEST_F(CacheCopiesTest, AnIndexOfAnEarlierLayoutStillServesAndTakesNewEntries) {
    // Made before hits were counted and before small bodies went into it.
    std::filesystem::create_directories(m_home.CacheDir() + "/content");
    std::ofstream(m_home.CacheDir() + "/content/old.txt") << "kept";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((m_home.CacheDir() + "/index.sqlite").c_str(), &db), SQLITE_OK);
    const std::string sql =
        "CREATE TABLE entries (url TEXT PRIMARY KEY, file TEXT NOT NULL, size INTEGER NOT NULL, "
        "last_modified INTEGER NOT NULL, expires INTEGER NOT NULL, last_sync INTEGER NOT NULL, "
        "last_access INTEGER NOT NULL, headers TEXT NOT NULL, use_count INTEGER NOT NULL "
        "DEFAULT 0, extension TEXT NOT NULL);"
        "INSERT INTO entries VALUES ('" +
        Url("/kept") + "', 'old.txt', 4, 0, 0, 1, 1, '', 0, 'txt');";
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    const auto copy = urlcache::OpenCopy(Url("/kept"));
    ASSERT_TRUE(copy.HasValue());
    EXPECT_EQ(Read(**copy, 0, 10), "kept");
    EXPECT_EQ(Listed().front().second, 1u);
    EXPECT_TRUE(LookUp(W(Url("/kept"))).localFile.ends_with("/content/old.txt"));
    Get("/n/1"); // a new small body goes into the migrated index
    EXPECT_EQ(LookUp(W(Url("/n/1"))).localFile, "");
    EXPECT_EQ(CachedBody(W(Url("/n/1"))), "body 1 v1");
    EXPECT_EQ(CachedBody(W(Url("/kept"))), "kept");
}

TEST(MissedUrlsTest, MissesAreCountedAcrossProcessesAndForgotten) {
    const CacheHome home;
    const pid_t first = SpawnChild("record-misses", "http://a.example/x 20");
    const pid_t second = SpawnChild("record-misses", "http://a.example/x 20");
    ASSERT_TRUE(urlcache::RecordMissedUrl(u"http://b.example/y"));
    EXPECT_EQ(WaitForChild(first), 0);
    EXPECT_EQ(WaitForChild(second), 0);
    ASSERT_TRUE(urlcache::RecordMissedUrl(u"http://b.example/y"));
    std::vector<urlcache::MissedUrl> missed;
    ASSERT_TRUE(urlcache::ListMissedUrls(missed));
    ASSERT_EQ(missed.size(), 2u);
    EXPECT_EQ(missed[0].url, u"http://b.example/y") << "the most recent first";
    EXPECT_EQ(missed[0].count, 2u);
    EXPECT_LT(missed[0].firstMissed, missed[0].lastMissed);
    EXPECT_EQ(missed[1].count, 40u);
    ASSERT_TRUE(urlcache::ForgetMissedUrl(u"http://b.example/y"));
    ASSERT_TRUE(urlcache::ListMissedUrls(missed));
    EXPECT_EQ(missed.size(), 1u);
    ASSERT_TRUE(urlcache::ClearMissedUrls());
    ASSERT_TRUE(urlcache::ListMissedUrls(missed));
    EXPECT_TRUE(missed.empty());
}

} // namespace
