// SPDX-License-Identifier: Apache-2.0
// What a download leaves in the URL cache, and how entries are looked up,
// locked and listed.
#include "platform/cache/CacheFailure.h"
#include "platform/cache/CacheKey.h"
#include "platform/inet/WinInet.h"
#include "platform/kernel/FileTime.h"
#include "platform/kernel/LastError.h"
#include "support/CacheHome.h"
#include "support/ChildProcess.h"
#include "support/InetTestSupport.h"
#include "support/TestServers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

using namespace testsupport;

namespace {

std::string FileContent(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

std::size_t FilesIn(const std::string& dir) {
    std::error_code ignored;
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& item : std::filesystem::directory_iterator(dir, ignored)) {
        ++count;
    }
    return count;
}

class UrlCacheTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto& routes = m_server.Routes();
        routes.Get("/page.html", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("Last-Modified", "Tue, 15 Nov 1994 08:12:31 GMT");
            res.set_content("<p>cached</p>", "text/html");
        });
        routes.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("gone", "text/plain");
        });
        // Small bodies are kept in the index, larger ones in files of their own.
        routes.Get("/counter", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content("visit " + std::to_string(++m_visits), "text/plain");
        });
        routes.Get("/big", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content("visit " + std::to_string(++m_visits) + std::string(200000, '.'),
                            "text/plain");
        });
        routes.Get("/old", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("/new");
        });
        routes.Get("/new", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("moved here", "text/plain");
        });
        routes.Get("/large", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(1 << 20, 'x'), "application/octet-stream");
        });
        m_server.Start();
        m_session = OpenSession();
    }

    std::u16string Url(const std::string& path) const {
        return W("http://127.0.0.1:" + std::to_string(m_server.Port()) + path);
    }

    Exchange Get(std::u16string_view path, DWORD flags = INTERNET_FLAG_RELOAD) {
        return Fetch(m_session.Get(), m_server.Port(), path, flags);
    }

    CacheHome m_home;
    LocalServer m_server;
    Handle m_session;
    std::atomic<int> m_visits{0};
};

TEST_F(UrlCacheTest, DownloadStoresTheResponseWithItsDetails) {
    FILETIME requested{};
    GetSystemTimeAsFileTime(&requested);
    const Exchange got = Get(u"/page.html", INTERNET_FLAG_RELOAD | INTERNET_FLAG_NEED_FILE);
    ASSERT_EQ(got.body, "<p>cached</p>");

    const CacheLook entry = LookUp(Url("/page.html"));
    ASSERT_TRUE(entry.found) << entry.error;
    EXPECT_EQ(entry.url, A(Url("/page.html")));
    EXPECT_EQ(entry.useCount, 0u);
    EXPECT_EQ(entry.size, got.body.size());
    EXPECT_EQ(CachedBody(Url("/page.html")), got.body);
    EXPECT_EQ(entry.localFile, "") << "a small body lives in the index, not in a file";
    EXPECT_EQ(FilesIn(m_home.CacheDir() + "/content"), 0u);
    EXPECT_EQ(entry.headers, got.headers);
    EXPECT_GE(CompareFileTime(&entry.lastSync, &requested), 0);
    const FILETIME lastModified = FileTimeFromUnixSeconds(784887151); // the Last-Modified above
    EXPECT_EQ(CompareFileTime(&entry.lastModified, &lastModified), 0);
}

TEST_F(UrlCacheTest, OnlyCompleteOkResponsesWithoutNoCacheWriteAreStored) {
    Get(u"/page.html", INTERNET_FLAG_NO_CACHE_WRITE);
    EXPECT_EQ(LookUp(Url("/page.html")).error, ERROR_FILE_NOT_FOUND);

    Get(u"/missing");
    EXPECT_EQ(LookUp(Url("/missing")).error, ERROR_FILE_NOT_FOUND);

    {
        const Request abandoned = OpenRequest(m_session.Get(), m_server.Port(), u"/large", 0);
        ASSERT_TRUE(Send(abandoned));
        char piece[4096];
        DWORD got = 0;
        ASSERT_TRUE(InternetReadFile(abandoned.Get(), piece, sizeof piece, &got));
    }
    EXPECT_EQ(LookUp(Url("/large")).error, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(FilesIn(m_home.CacheDir() + "/tmp"), 0u) << "the abandoned body's temporary is gone";
    EXPECT_EQ(FilesIn(m_home.CacheDir() + "/content"), 0u);
}

TEST_F(UrlCacheTest, NewerDownloadReplacesTheEntryAndItsFile) {
    for (const char16_t* path : {u"/counter", u"/big"}) {
        Get(path);
        const CacheLook first = LookUp(Url(A(path)));
        Get(path);
        const CacheLook second = LookUp(Url(A(path)));
        ASSERT_TRUE(first.found && second.found);
        EXPECT_EQ(CachedBody(Url(A(path))).substr(0, 7),
                  "visit " + std::to_string(m_visits.load()));
        EXPECT_GE(CompareFileTime(&second.lastSync, &first.lastSync), 0);
        EXPECT_TRUE(first.localFile.empty() || !std::filesystem::exists(first.localFile));
    }
    EXPECT_EQ(FilesIn(m_home.CacheDir() + "/content"), 1u) << "only the large body has a file";
}

TEST_F(UrlCacheTest, RedirectedResponseIsStoredUnderBothUrlsWithoutFragments) {
    Get(u"/old#section");
    const CacheLook requested = LookUp(Url("/old"));
    const CacheLook final = LookUp(Url("/new#elsewhere"));
    ASSERT_TRUE(requested.found && final.found);
    EXPECT_EQ(final.url, A(Url("/new")));
    EXPECT_EQ(CachedBody(Url("/old")), "moved here");
    EXPECT_EQ(CachedBody(Url("/new")), "moved here");
}

TEST_F(UrlCacheTest, RetrieveLocksAndUnlockReleases) {
    Get(u"/page.html");
    const std::u16string url = Url("/page.html");
    DWORD size = 0;
    EXPECT_FALSE(RetrieveUrlCacheEntryFileW(url.c_str(), nullptr, &size, 0));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(LookUp(url).useCount, 0u) << "a failed retrieve takes no lock";

    std::vector<std::uint64_t> buffer(size / 8 + 1);
    auto* entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
    DWORD smaller = size - 1;
    EXPECT_FALSE(RetrieveUrlCacheEntryFileW(url.c_str(), entry, &smaller, 0));
    EXPECT_EQ(smaller, size);
    ASSERT_TRUE(RetrieveUrlCacheEntryFileW(url.c_str(), entry, &size, 0));
    EXPECT_EQ(entry->dwUseCount, 1u);
    // A lock promises a file: a body kept in the index is written out to one.
    EXPECT_EQ(FileContent(A(entry->lpszLocalFileName)), "<p>cached</p>");
    EXPECT_TRUE(A(entry->lpszLocalFileName).ends_with(".html"));
    EXPECT_EQ(CachedBody(url), "<p>cached</p>");
    ASSERT_TRUE(RetrieveUrlCacheEntryFileW(url.c_str(), entry, &size, 0));
    EXPECT_EQ(LookUp(url).useCount, 2u);

    EXPECT_TRUE(UnlockUrlCacheEntryFileW(url.c_str(), 0));
    EXPECT_TRUE(UnlockUrlCacheEntryFileW(url.c_str(), 0));
    EXPECT_EQ(LookUp(url).useCount, 0u);
    EXPECT_FALSE(UnlockUrlCacheEntryFileW(url.c_str(), 0));
    EXPECT_EQ(GetLastError(), ERROR_NOT_LOCKED);
    EXPECT_FALSE(UnlockUrlCacheEntryFileW(Url("/never").c_str(), 0));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(UrlCacheTest, AContentFileCutShortOrGoneIsNoEntry) {
    Get(u"/large");
    Get(u"/big");
    const std::u16string page = Url("/large");
    const std::u16string counter = Url("/big");
    // As a power failure might leave a file that was never forced to disk.
    std::filesystem::resize_file(LookUp(page).localFile, 3);
    std::filesystem::remove(LookUp(counter).localFile);
    DWORD size = 0;
    EXPECT_FALSE(
        GetUrlCacheEntryInfoExW(page.c_str(), nullptr, &size, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(RetrieveUrlCacheEntryFileW(counter.c_str(), nullptr, &size, 0));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    // The next download replaces the damaged entry.
    Get(u"/large");
    EXPECT_EQ(FileContent(LookUp(page).localFile), std::string(1 << 20, 'x'));
}

TEST_F(UrlCacheTest, ListingGivesEveryEntryInUrlOrder) {
    Get(u"/page.html");
    Get(u"/counter");
    std::vector<UrlCacheEntry> entries;
    ASSERT_TRUE(ListUrlCacheEntries(entries));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].sourceUrl, Url("/counter"));
    EXPECT_EQ(entries[1].sourceUrl, Url("/page.html"));
    EXPECT_EQ(A(entries[1].localFile), "");
    EXPECT_EQ(CachedBody(entries[1].sourceUrl), "<p>cached</p>");
}

TEST_F(UrlCacheTest, SpellingsOfOneAddressShareOneEntry) {
    struct Case {
        std::u16string url;
        std::u16string key;
    };
    const Case cases[] = {
        {u"HTTP://Host:80/a", u"http://host/a"},
        {u"https://WWW.Example.COM:443/P?Q=A#frag", u"https://www.example.com/P?Q=A"},
        {u"http://host:/a", u"http://host/a"},
        {u"http://host:443/a", u"http://host:443/a"},
        {u"https://host:80/a", u"https://host:80/a"},
        {u"http://User@HOST:0080?x", u"http://User@host?x"},
        {u"http://[::1]:80/a", u"http://[::1]/a"},
        {u"http://[::1]/a", u"http://[::1]/a"},
        {u"ftp://Host:80/a#f", u"ftp://Host:80/a"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(A(urlcache::CacheKeyOf(c.url)), A(c.key)) << A(c.url);
    }
    // Stored under one spelling, found under another.
    const Request request =
        OpenRequest(m_session.Get(), m_server.Port(), u"/page.html", 0, u"LocalHost");
    ASSERT_TRUE(Send(request));
    ReadBody(request.Get());
    const std::string port = std::to_string(m_server.Port());
    const CacheLook found = LookUp(W("HTTP://LOCALHOST:" + port + "/page.html#top"));
    ASSERT_TRUE(found.found);
    EXPECT_EQ(found.url, "http://localhost:" + port + "/page.html");
}

// Late failures come from the thread that commits the batch of entries.
std::mutex g_reportedMutex;
UrlCacheFailure g_reported;

void KeepCacheFailure(HINTERNET, std::uintptr_t, DWORD status, void* info, DWORD) {
    if (status == INTERNET_STATUS_CACHE_WRITE_FAILED) {
        const std::lock_guard lock(g_reportedMutex);
        g_reported = *static_cast<const UrlCacheFailure*>(info);
    }
}

UrlCacheFailure Reported() {
    const std::lock_guard lock(g_reportedMutex);
    return g_reported;
}

/// Waits up to two seconds for `done`.
template <class Condition> bool Eventually(Condition done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!done() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

TEST_F(UrlCacheTest, SmallEntriesReachOtherProcessesSoonAndABatchThatFailsIsReportedLate) {
    // Small bodies wait a moment for one commit of many; this process sees
    // them at once, another soon, though the session stays open.
    EXPECT_EQ(Get(u"/page.html").body, "<p>cached</p>");
    EXPECT_TRUE(LookUp(Url("/page.html")).found);
    EXPECT_TRUE(Eventually([] { return WaitForChild(SpawnChild("count-entries", "")) == 1; }))
        << "another process never sees the entry";

    {
        const std::lock_guard lock(g_reportedMutex);
        g_reported = {};
    }
    InternetSetStatusCallbackW(m_session.Get(), &KeepCacheFailure);
    ::setenv("DRAVIK_FAULT", "CommitEntryBatch", 1);
    EXPECT_EQ(Get(u"/new").body, "moved here") << "the read itself succeeds";
    const bool reported = Eventually([] { return !Reported().url.empty(); });
    ::unsetenv("DRAVIK_FAULT");
    ASSERT_TRUE(reported) << "a lost entry is never reported";
    EXPECT_EQ(A(Reported().url), A(Url("/new")));
    EXPECT_EQ(Reported().error, ERROR_DISK_FULL);
    EXPECT_FALSE(LookUp(Url("/new")).found) << "the failed batch was rolled back";
    EXPECT_TRUE(LookUp(Url("/page.html")).found) << "what was committed before stays";
    InternetSetStatusCallbackW(m_session.Get(), nullptr);
}

TEST_F(UrlCacheTest, ACacheThatCannotBeWrittenOrReadSaysWhereAndWhy) {
    // A file where the cache folder should be: no one, root included, can
    // write there.
    std::ofstream(m_home.CacheDir()) << "not a folder";
    InternetSetStatusCallbackW(m_session.Get(), &KeepCacheFailure);
    const Exchange got = Get(u"/page.html");
    EXPECT_EQ(got.body, "<p>cached</p>") << "the read itself succeeds";
    EXPECT_EQ(A(g_reported.url), A(Url("/page.html")));
    EXPECT_EQ(A(g_reported.path), m_home.CacheDir());
    EXPECT_EQ(g_reported.error, ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(A(g_reported.reason), "Not a directory");
    UrlCacheFailure last;
    ASSERT_TRUE(GetLastUrlCacheFailure(last));
    EXPECT_EQ(last.path, g_reported.path);

    // An index that is no database.
    std::filesystem::remove(m_home.CacheDir());
    std::filesystem::create_directories(m_home.CacheDir());
    std::ofstream(m_home.CacheDir() + "/index.sqlite") << std::string(4096, 'x');
    std::vector<UrlCacheEntry> entries;
    EXPECT_FALSE(ListUrlCacheEntries(entries));
    ASSERT_TRUE(GetLastUrlCacheFailure(last));
    EXPECT_EQ(A(last.path), m_home.CacheDir() + "/index.sqlite");
    EXPECT_EQ(A(last.reason), "file is not a database");
    EXPECT_EQ(GetLastError(), last.error);
}

} // namespace
