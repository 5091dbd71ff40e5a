// SPDX-License-Identifier: Apache-2.0
// Misses are noted without waiting on the list's file and written in
// batches; this process's listing sees them at once.
#include "platform/cache/MissedList.h"
#include "platform/cache/MissedUrls.h"
#include "support/CacheHome.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using testsupport::CacheHome;

TEST(MissedBatchTest, NotingAMissNeverWaitsForTheListsWriteLock) {
    const CacheHome home;
    ASSERT_TRUE(urlcache::RecordMissedUrl(u"http://a.example/first"));
    ASSERT_TRUE(urlcache::FlushMissedUrls());
    {
        // Another process writing the list holds its write lock.
        const urlcache::SqliteDb other = urlcache::OpenMissedList(home.CacheDir());
        ASSERT_TRUE(other);
        urlcache::Transaction busy(other.get());
        ASSERT_TRUE(busy.Begun());
        const auto start = std::chrono::steady_clock::now();
        std::vector<std::thread> clients;
        for (int t = 0; t < 4; ++t) {
            clients.emplace_back([t] {
                for (int i = 0; i < 50; ++i) {
                    const std::string url = "http://a.example/" + std::to_string(t % 2);
                    EXPECT_TRUE(urlcache::RecordMissedUrl(std::u16string(url.begin(), url.end())));
                }
            });
        }
        for (std::thread& client : clients) {
            client.join();
        }
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took, std::chrono::milliseconds(500)) << "200 misses noted while locked";
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } // the lock goes: the waiting batch is written
    std::vector<urlcache::MissedUrl> missed;
    ASSERT_TRUE(urlcache::ListMissedUrls(missed));
    ASSERT_EQ(missed.size(), 3u);
    std::uint32_t total = 0;
    for (const urlcache::MissedUrl& m : missed) {
        total += m.count;
        EXPECT_LE(m.firstMissed, m.lastMissed);
    }
    EXPECT_EQ(total, 201u) << "every miss counted once";
}

TEST(MissedBatchTest, AMissIsListedAndForgottenInTheSameProcessAtOnce) {
    const CacheHome home;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(urlcache::RecordMissedUrl(u"http://b.example/x"));
        std::vector<urlcache::MissedUrl> missed;
        ASSERT_TRUE(urlcache::ListMissedUrls(missed));
        ASSERT_EQ(missed.size(), 1u);
        EXPECT_EQ(missed[0].count, static_cast<std::uint32_t>(i + 1));
    }
    ASSERT_TRUE(urlcache::RecordMissedUrl(u"http://b.example/x"));
    ASSERT_TRUE(urlcache::ForgetMissedUrl(u"http://b.example/x"));
    std::vector<urlcache::MissedUrl> missed;
    ASSERT_TRUE(urlcache::ListMissedUrls(missed));
    EXPECT_TRUE(missed.empty()) << "a miss noted before forgetting is not written after it";
}

} // namespace
