// SPDX-License-Identifier: Apache-2.0
// What a failed batch of entries may and may not take with it: an entry that
// makes or frees a content file never waits in a batch, an entry that fails
// a batch reports why it failed, and a cache folder removed in use loses
// only what waited in it.
#include "platform/cache/CacheKey.h"
#include "platform/cache/CacheWriter.h"
#include "platform/cache/UrlCacheStore.h"
#include "platform/inet/WinInet.h"
#include "platform/kernel/LastError.h"
#include "support/CacheHome.h"
#include "support/ChildProcess.h"
#include "support/InetTestSupport.h"
#include "support/TestServers.h"

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/mount.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <latch>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace testsupport;

namespace {

std::atomic<HINTERNET> g_closing{nullptr};
std::atomic<bool> g_closed{false};

void CloseOnLateFailure(HINTERNET, std::uintptr_t, DWORD status, void*, DWORD) {
    if (status == INTERNET_STATUS_CACHE_WRITE_FAILED) {
        if (HINTERNET session = g_closing.exchange(nullptr)) {
            g_closed = InternetCloseHandle(session) != FALSE;
        }
    }
}

class CacheWriterRules : public ::testing::Test {
  protected:
    // What still waits is committed while the folder and the reports' fixture exist.
    void TearDown() override {
        ::unsetenv("DRAVIK_FAULT");
        urlcache::CommitBatchedEntries();
    }

    /// Stores `body` under `url` as a download does, with a report for a
    /// later failure; false, with the reason in `failures`, when the commit
    /// itself failed.
    bool Store(const std::string& url, const std::string& body) {
        UrlCacheFailure failure;
        const std::unique_ptr<urlcache::CacheWriter> writer = urlcache::CacheWriter::Begin(failure);
        if (!writer) {
            Keep(failure);
            return false;
        }
        writer->ReportLateFailure([this](const UrlCacheFailure& late) { Keep(late); });
        urlcache::ResponseFacts facts;
        facts.urls = {urlcache::CacheKeyOf(W(url))};
        facts.headers = u"HTTP/1.1 200 OK\r\n\r\n";
        if (!writer->Append(body.data(), body.size()) || !writer->Commit(facts)) {
            Keep(writer->Failure());
            return false;
        }
        return true;
    }
    void Keep(const UrlCacheFailure& failure) {
        const std::lock_guard lock(mutex);
        failures.push_back(failure);
    }
    std::size_t ContentFiles() const {
        std::error_code ignored;
        std::size_t count = 0;
        for ([[maybe_unused]] const auto& item :
             std::filesystem::directory_iterator(home.CacheDir() + "/content", ignored)) {
            ++count;
        }
        return count;
    }

    CacheHome home;
    std::mutex mutex;
    std::vector<UrlCacheFailure> failures;
};

TEST_F(CacheWriterRules, AnEntryThatMakesOrFreesAFileIsNeverLostWithALaterBatch) {
    const std::string swapped = "http://127.0.0.1:1/swapped";
    const std::string large(200000, 'L');
    ASSERT_TRUE(Store(swapped, large));
    ASSERT_EQ(ContentFiles(), 1u);

    // Every batch fails from here on. A small body replacing the large one
    // frees its file, a large body makes one: had either waited in the
    // batch, its file would be gone under a row the rollback brought back,
    // or left with no row naming it.
    const std::string made = "http://127.0.0.1:1/made";
    ::setenv("DRAVIK_FAULT", "CommitEntryBatch", 1);
    const bool swappedStored = Store(swapped, "small");
    const bool madeStored = Store(made, std::string(200000, 'M'));
    urlcache::CommitBatchedEntries();
    ::unsetenv("DRAVIK_FAULT");

    // What was kept is whole; what was not was reported.
    const auto kept = [this](const std::string& url, bool stored) {
        return stored && std::none_of(failures.begin(), failures.end(),
                                      [&](const UrlCacheFailure& f) { return A(f.url) == url; });
    };
    ASSERT_TRUE(LookUp(W(swapped)).found) << "the row is back but its file was deleted";
    EXPECT_EQ(CachedBody(W(swapped)), kept(swapped, swappedStored) ? "small" : large);
    EXPECT_EQ(LookUp(W(made)).found, kept(made, madeStored));
    EXPECT_EQ(ContentFiles(), 1u) << "a file outlived the row that named it";

    ASSERT_TRUE(Store(swapped, "small"));
    EXPECT_EQ(CachedBody(W(swapped)), "small");
    EXPECT_EQ(ContentFiles(), kept(made, madeStored) ? 1u : 0u) << "a freed file is still there";
}

TEST_F(CacheWriterRules, WaitingEntriesAndHeldReadsLeaveTheIndexToOthers) {
    ASSERT_TRUE(Store("http://127.0.0.1:1/first", "small"));
    urlcache::CommitBatchedEntries();
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open((home.CacheDir() + "/index.sqlite").c_str(), &other), SQLITE_OK);
    const auto count = [other] {
        int rows = -1;
        sqlite3_exec(
            other, "SELECT count(*) FROM entries",
            [](void* out, int, char** values, char**) {
                *static_cast<int*>(out) = std::atoi(values[0]);
                return 0;
            },
            &rows, nullptr);
        return rows;
    };

    ASSERT_TRUE(Store("http://127.0.0.1:1/waiting", "small"));
    EXPECT_TRUE(LookUp(W("http://127.0.0.1:1/waiting")).found) << "this process sees it at once";
    EXPECT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK)
        << "another writer waits while entries wait for the batch";
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    int seen = count();
    for (int waited = 0; waited < 200 && seen != 2; ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        seen = count();
    }
    EXPECT_EQ(seen, 2) << "the waiting entry never reached the index";

    // Look-ups share one read transaction for a moment: another writer's
    // row is seen soon after, and a checkpoint that waits for every reader
    // goes through once this process has been idle for a moment.
    const auto key = [](const char* url) { return A(urlcache::CacheKeyOf(W(url))); };
    const std::string copy =
        "INSERT INTO entries SELECT '" + key("http://127.0.0.1:1/other") +
        "', file, size, last_modified, expires, last_sync, last_access, headers, use_count, "
        "extension, hits, body FROM entries WHERE url = '" +
        key("http://127.0.0.1:1/first") + "'";
    EXPECT_TRUE(LookUp(W("http://127.0.0.1:1/first")).found);
    ASSERT_EQ(sqlite3_exec(other, copy.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    const auto start = std::chrono::steady_clock::now();
    while (!LookUp(W("http://127.0.0.1:1/other")).found &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(2)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500))
        << "another process's entry stayed unseen";
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    int busy = -1;
    sqlite3_exec(
        other, "PRAGMA wal_checkpoint(TRUNCATE)",
        [](void* out, int, char** values, char**) {
            *static_cast<int*>(out) = std::atoi(values[0]);
            return 0;
        },
        &busy, nullptr);
    EXPECT_EQ(busy, 0) << "an idle process still holds a read of the index";
    sqlite3_close(other);
}

TEST_F(CacheWriterRules, ABatchLostToAFullDiskSaysTheDiskIsFull) {
    std::filesystem::create_directories(home.CacheDir());
    if (::mount("tmpfs", home.CacheDir().c_str(), "tmpfs", 0, "size=384k") != 0) {
        GTEST_SKIP() << "no tmpfs can be mounted here";
    }
    const struct Unmount {
        std::string dir;
        ~Unmount() { ::umount2(dir.c_str(), MNT_DETACH); }
    } unmount{home.CacheDir()};

    for (int item = 0; item < 200 && failures.empty(); ++item) {
        Store("http://127.0.0.1:1/item/" + std::to_string(item), std::string(20000, 'x'));
    }
    urlcache::CommitBatchedEntries();
    ASSERT_FALSE(failures.empty()) << "a full disk went unnoticed";
    for (const UrlCacheFailure& failure : failures) {
        const std::string reason = A(failure.reason);
        EXPECT_EQ(failure.error, ERROR_DISK_FULL) << reason;
        EXPECT_TRUE(reason.find("disk is full") != std::string::npos ||
                    reason.find("No space left") != std::string::npos)
            << reason;
    }
}

TEST_F(CacheWriterRules, ACacheFolderRemovedOrReplacedInUseIsNoticed) {
    ASSERT_TRUE(Store("http://127.0.0.1:1/before", "small"));
    std::filesystem::remove_all(home.CacheDir());
    EXPECT_TRUE(Store("http://127.0.0.1:1/after", "small"));
    urlcache::CommitBatchedEntries();
    EXPECT_EQ(WaitForChild(SpawnChild("count-entries", "")), 1)
        << "the later entry went into the removed folder's index";
    for (const UrlCacheFailure& failure : failures) {
        EXPECT_EQ(A(failure.url), "http://127.0.0.1:1/before") << "only the waiting entry is lost";
        EXPECT_EQ(A(failure.path), home.CacheDir());
    }

    // Removed with nothing else between it and the commit: the waiting
    // entry is reported, not written into the removed index. (The batch
    // commits by itself 50 ms after its first entry; a run that stalls that
    // long before the removal commits it first, and is tried again.)
    for (int attempt = 0; attempt < 5; ++attempt) {
        failures.clear();
        ASSERT_TRUE(Store("http://127.0.0.1:1/last", "small"));
        std::filesystem::remove_all(home.CacheDir());
        urlcache::CommitBatchedEntries();
        if (!failures.empty()) {
            break;
        }
    }
    ASSERT_EQ(failures.size(), 1u) << "an entry went into a removed index without a word";
    EXPECT_EQ(A(failures[0].url), "http://127.0.0.1:1/last");
    EXPECT_EQ(A(failures[0].path), home.CacheDir());

    failures.clear();
    std::filesystem::remove_all(home.CacheDir());
    std::ofstream(home.CacheDir()) << "a file where the cache folder was";
    EXPECT_FALSE(Store("http://127.0.0.1:1/replaced", "small"));
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(A(failures[0].path), home.CacheDir());
    std::filesystem::remove(home.CacheDir());
}

TEST_F(CacheWriterRules, ManyWritersIntoAFreshCacheKeepEveryBody) {
    // Each round starts from no cache folder; bodies this large go to content
    // files, made by all writers at once, which need both the temporaries'
    // and the content folder: opening the cache makes both.
    constexpr int kWriters = 8;
    for (int round = 0; round < 10; ++round) {
        std::filesystem::remove_all(home.CacheDir());
        std::latch opened(kWriters);
        bool foldersMade = false;
        std::vector<std::thread> writers;
        for (int writer = 0; writer < kWriters; ++writer) {
            writers.emplace_back([&, writer] {
                UrlCacheFailure failure;
                const auto cache = urlcache::CacheWriter::Begin(failure);
                opened.arrive_and_wait();
                if (writer == 0) {
                    foldersMade = std::filesystem::is_directory(home.CacheDir() + "/content") &&
                                  std::filesystem::is_directory(home.CacheDir() + "/tmp");
                }
                urlcache::ResponseFacts facts;
                facts.urls = {W("http://127.0.0.1:1/" + std::to_string(writer))};
                facts.headers = u"HTTP/1.1 200 OK\r\n\r\n";
                const std::string body(200000, 'x');
                if (!cache || !cache->Append(body.data(), body.size()) || !cache->Commit(facts)) {
                    Keep(cache ? cache->Failure() : failure);
                }
            });
        }
        for (std::thread& writer : writers) {
            writer.join();
        }
        ASSERT_TRUE(failures.empty())
            << "round " << round << ": " << A(failures[0].path) << ": " << A(failures[0].reason);
        EXPECT_TRUE(foldersMade) << "the cache was opened without its content folders";
        EXPECT_EQ(ContentFiles(), static_cast<std::size_t>(kWriters));
    }
}

TEST_F(CacheWriterRules, AStatusCallbackMayCloseItsSessionWhileHearingOfALateFailure) {
    LocalServer server;
    server.Routes().Get("/small", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("small", "text/plain");
    });
    server.Start();
    HINTERNET session = OpenSession().release();
    InternetSetStatusCallbackW(session, &CloseOnLateFailure);
    g_closing = session;
    // The entry waits in the batch; the cache's own thread commits it, fails,
    // and reports it to the callback, which closes the session.
    ::setenv("DRAVIK_FAULT", "CommitEntryBatch", 1);
    ASSERT_TRUE(Fetch(session, server.Port(), u"/small", 0).sent);
    for (int waited = 0; waited < 500 && !g_closed; ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(g_closed) << "closing the session waits for the report it is part of";
}

} // namespace
