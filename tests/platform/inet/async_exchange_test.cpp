// SPDX-License-Identifier: Apache-2.0
// Exchanges begun without waiting: many at once on one session, moved by
// one thread of the library's own, each ending as the waiting calls end it.
#include "platform/inet/Exchange.h"
#include "platform/kernel/LastError.h"
#include "support/CacheHome.h"
#include "support/InetTestSupport.h"
#include "support/TestServers.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

int ThreadsOfThisProcess() {
    std::ifstream status("/proc/self/status");
    std::string word;
    int threads = -1;
    while (status >> word) {
        if (word == "Threads:") {
            status >> threads;
        }
    }
    return threads;
}

struct Begun {
    std::unique_ptr<inet::Exchange> exchange;
    std::string body;
    DWORD outcome = ERROR_IO_PENDING;
    bool headed = false;
};

/// Goes as far as `begun` can go now; false while it waits for more.
bool GoOn(Begun& begun) {
    if (!begun.headed) {
        begun.outcome = begun.exchange->Arrived();
        if (begun.outcome != 0) {
            return begun.outcome != ERROR_IO_PENDING;
        }
        begun.headed = true;
    }
    char piece[10000];
    for (;;) {
        std::size_t read = 0;
        begun.outcome = begun.exchange->TryRead(piece, sizeof piece, read);
        if (begun.outcome != 0 || read == 0) {
            return begun.outcome != ERROR_IO_PENDING;
        }
        begun.body.append(piece, read);
    }
}

TEST(AsyncExchange, ManyGoOnOneThreadAndEachEndsAsAWaitingCallWould) {
    const testsupport::CacheHome cache;
    testsupport::LocalServer site;
    const std::string large(1024 * 1024, 'b');
    site.Routes().Get("/large", [&large](const httplib::Request&, httplib::Response& res) {
        res.set_content(large, "application/octet-stream");
    });
    site.Routes().Get("/hang", [](const httplib::Request&, httplib::Response& res) {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        res.set_content("late", "text/plain");
    });
    site.Start();
    const inet::OwnedSession session(
        InternetOpenW(u"test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    ASSERT_NE(session, nullptr);
    DWORD timeout = 400;
    ASSERT_TRUE(InternetSetOptionW(session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout,
                                   sizeof timeout));

    std::mutex mutex;
    std::condition_variable told;
    int signals = 0;
    const auto ready = [&] {
        const std::lock_guard lock(mutex);
        ++signals;
        told.notify_all();
    };
    // One request waited for first: the cache and its writer are open.
    DWORD error = 0;
    const std::unique_ptr<inet::Exchange> first = inet::Exchange::Send(
        session.get(),
        {"GET", "127.0.0.1", static_cast<unsigned>(site.Port()), "/large", 0, "", ""}, error);
    ASSERT_NE(first, nullptr) << error;
    char piece[65536];
    for (std::size_t read = 1; read != 0;) {
        ASSERT_EQ(first->Read(piece, sizeof piece, read), 0U);
    }
    const int threadsBefore = ThreadsOfThisProcess();
    std::vector<Begun> begun(8);
    const auto begin = [&](Begun& into, unsigned port, const std::string& target) {
        DWORD error = 0;
        into.exchange = inet::Exchange::Begin(
            session.get(), {"GET", "127.0.0.1", port, target, INTERNET_FLAG_RELOAD, "", ""}, ready,
            error);
        ASSERT_NE(into.exchange, nullptr) << error;
    };
    const auto port = static_cast<unsigned>(site.Port());
    for (int i = 0; i < 6; ++i) {
        begin(begun[i], port, "/large?" + std::to_string(i));
    }
    begin(begun[6], port, "/hang");
    begin(begun[7], static_cast<unsigned>(testsupport::ClosedPort()), "/");
    EXPECT_LE(ThreadsOfThisProcess(), threadsBefore + 1) << "one thread for them all";

    const auto start = std::chrono::steady_clock::now();
    std::size_t ended = 0;
    std::vector<bool> done(begun.size());
    while (ended < begun.size() &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
        {
            std::unique_lock lock(mutex);
            told.wait_for(lock, std::chrono::milliseconds(200), [&] { return signals > 0; });
            signals = 0;
        }
        for (std::size_t i = 0; i < begun.size(); ++i) {
            if (!done[i] && GoOn(begun[i])) {
                done[i] = true;
                ++ended;
            }
        }
    }
    const auto took = std::chrono::steady_clock::now() - start;
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(begun[i].outcome, 0U) << i;
        EXPECT_EQ(begun[i].body.size(), large.size()) << i;
        const std::string url =
            "http://127.0.0.1:" + std::to_string(port) + "/large?" + std::to_string(i);
        EXPECT_TRUE(testsupport::LookUp(testsupport::W(url)).found) << url;
    }
    EXPECT_EQ(begun[6].outcome, ERROR_INTERNET_TIMEOUT) << "the receive time-out holds";
    EXPECT_EQ(begun[7].outcome, ERROR_INTERNET_CANNOT_CONNECT);
    EXPECT_LT(took, std::chrono::milliseconds(1500)) << "the hanging request held the others";
}

} // namespace
