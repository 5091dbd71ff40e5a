// SPDX-License-Identifier: Apache-2.0
// Reading, deleting and walking cache entries with the library's calls,
// and the list of URLs missed while offline.
#include "platform/cache/MissedUrls.h"
#include "platform/cache/UrlCacheStreams.h"
#include "platform/kernel/LastError.h"
#include "support/CacheHome.h"
#include "support/ChildProcess.h"
#include "support/InetTestSupport.h"
#include "support/TestServers.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <set>

using namespace testsupport;

namespace {

class CacheStreamTest : public ::testing::Test {
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
    std::u16string Url(const std::string& path) const {
        return W("http://127.0.0.1:" + std::to_string(m_server.Port()) + path);
    }
    void Get(const std::string& path) {
        ASSERT_EQ(Fetch(m_session.Get(), m_server.Port(), W(path), INTERNET_FLAG_NEED_FILE).status,
                  200u);
    }
    /// Opens a stream with the two-call protocol.
    HANDLE Open(const std::u16string& url, INTERNET_CACHE_ENTRY_INFOW*& entry) {
        DWORD size = 0;
        if (RetrieveUrlCacheEntryStreamW(url.c_str(), nullptr, &size, FALSE, 0) != nullptr ||
            GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            return nullptr;
        }
        m_buffer.assign(size / 8 + 1, 0);
        entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(m_buffer.data());
        return RetrieveUrlCacheEntryStreamW(url.c_str(), entry, &size, FALSE, 0);
    }
    std::string Read(HANDLE stream, DWORD offset, DWORD length) {
        std::string out(length, '\0');
        return ReadUrlCacheEntryStream(stream, offset, out.data(), &length, 0)
                   ? out.substr(0, length)
                   : "failed";
    }
    /// Every URL and hit count, by walking the cache.
    std::vector<std::pair<std::string, DWORD>> Walk() {
        std::vector<std::pair<std::string, DWORD>> seen;
        std::vector<std::uint64_t> buffer(2);
        auto* entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
        DWORD size = 16;
        HANDLE find = FindFirstUrlCacheEntryW(nullptr, entry, &size);
        EXPECT_EQ(find, nullptr) << "a buffer too small leaves no walk";
        for (bool more = true; more;) {
            buffer.assign(size / 8 + 1, 0);
            entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
            more = find == nullptr ? (find = FindFirstUrlCacheEntryW(u"*", entry, &size)) != nullptr
                                   : FindNextUrlCacheEntryW(find, entry, &size) != FALSE;
            if (more) {
                seen.emplace_back(A(entry->lpszSourceUrlName), entry->dwHitRate);
                size = 0; // ask again for the size of the next one
                EXPECT_FALSE(FindNextUrlCacheEntryW(find, nullptr, &size));
            }
        }
        EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
        EXPECT_TRUE(find == nullptr || FindCloseUrlCache(find));
        return seen;
    }

    CacheHome m_home;
    LocalServer m_server;
    Handle m_session;
    std::atomic<int> m_version{0};
    std::vector<std::uint64_t> m_buffer;
};

TEST_F(CacheStreamTest, AStreamReadsTheBodyAsItWasAndCountsAHit) {
    Get("/n/1");
    const std::u16string url = Url("/n/1");
    INTERNET_CACHE_ENTRY_INFOW* entry = nullptr;
    HANDLE stream = Open(url, entry);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(A(entry->lpszSourceUrlName), A(url));
    EXPECT_EQ(Read(stream, 2, 4), "dy 1");
    EXPECT_EQ(Read(stream, 100, 4), "");
    Get("/n/1"); // a new download while the stream is open
    EXPECT_EQ(Read(stream, 0, 100), "body 1 v1");
    EXPECT_EQ(LookUp(url).useCount, 0u) << "a stream takes no lock";
    EXPECT_TRUE(UnlockUrlCacheEntryStream(stream, 0));
    EXPECT_FALSE(UnlockUrlCacheEntryStream(stream, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(Read(stream, 0, 4), "failed");

    HANDLE again = Open(url, entry);
    EXPECT_EQ(Read(again, 0, 100), "body 1 v2");
    UnlockUrlCacheEntryStream(again, 0);
    DWORD size = 0;
    EXPECT_EQ(RetrieveUrlCacheEntryStreamW(Url("/none").c_str(), nullptr, &size, FALSE, 0),
              nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Walk(), (std::vector<std::pair<std::string, DWORD>>{{A(url), 2}}));
}

TEST_F(CacheStreamTest, DeletingRemovesTheEntryAndTheContentNoOtherEntryShares) {
    Get("/old"); // stored under /old and /big, one content file
    const std::string file = LookUp(Url("/big")).localFile;
    EXPECT_TRUE(DeleteUrlCacheEntryW(Url("/old#part").c_str()));
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_TRUE(DeleteUrlCacheEntryW(Url("/big").c_str()));
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_FALSE(DeleteUrlCacheEntryW(Url("/big").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    Get("/big");
    std::filesystem::remove(LookUp(Url("/big")).localFile);
    EXPECT_TRUE(DeleteUrlCacheEntryW(Url("/big").c_str())) << "a row whose file has gone";
    Get("/n/2"); // a body kept in the index goes with its row
    EXPECT_TRUE(DeleteUrlCacheEntryW(Url("/n/2").c_str()));
    EXPECT_EQ(CachedBody(Url("/n/2")), "(none)");
    EXPECT_TRUE(Walk().empty());
}

TEST_F(CacheStreamTest, AWalkGivesEveryEntryOnceInUrlOrder) {
    std::set<std::string> expected;
    for (int i = 0; i < 300; ++i) { // more than one batch read from the index
        Get("/n/" + std::to_string(i));
        expected.insert(A(Url("/n/" + std::to_string(i))));
    }
    std::vector<std::string> urls;
    for (const auto& [url, hits] : Walk()) {
        urls.push_back(url);
    }
    EXPECT_EQ(urls, std::vector<std::string>(expected.begin(), expected.end()));
    DWORD size = 0;
    EXPECT_EQ(FindFirstUrlCacheEntryW(u"visited:", nullptr, &size), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(FindCloseUrlCache(&size));
}

TEST_F(CacheStreamTest, AnIndexOfAnEarlierLayoutStillServesAndTakesNewEntries) {
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
        A(Url("/kept")) + "', 'old.txt', 4, 0, 0, 1, 1, '', 0, 'txt');";
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    INTERNET_CACHE_ENTRY_INFOW* entry = nullptr;
    HANDLE stream = Open(Url("/kept"), entry);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(Read(stream, 0, 10), "kept");
    UnlockUrlCacheEntryStream(stream, 0);
    EXPECT_EQ(Walk().front().second, 1u);
    EXPECT_TRUE(LookUp(Url("/kept")).localFile.ends_with("/content/old.txt"));
    Get("/n/1"); // a new small body goes into the migrated index
    EXPECT_EQ(LookUp(Url("/n/1")).localFile, "");
    EXPECT_EQ(CachedBody(Url("/n/1")), "body 1 v1");
    EXPECT_EQ(CachedBody(Url("/kept")), "kept");
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
