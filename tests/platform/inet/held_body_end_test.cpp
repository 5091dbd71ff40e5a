// SPDX-License-Identifier: Apache-2.0
// A body read to its end while its end is held: nothing reaches the cache or
// the status callback until the hold is let go, and a handle closed while
// held keeps nothing.
#include "platform/inet/WinInet.h"
#include "platform/kernel/LastError.h"
#include "support/CacheHome.h"
#include "support/InetTestSupport.h"
#include "support/TestServers.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace testsupport;

namespace {

std::atomic<int> g_completed{0};

void CountCompletions(HINTERNET, std::uintptr_t, DWORD status, void*, DWORD) {
    if (status == INTERNET_STATUS_REQUEST_COMPLETE) {
        ++g_completed;
    }
}

BOOL Hold(HINTERNET request, DWORD value, DWORD length = sizeof(DWORD)) {
    return InternetSetOptionW(request, INTERNET_OPTION_HOLD_BODY_END, &value, length);
}

TEST(HeldBodyEnd, TheEntryIsWrittenWhenTheHoldIsLetGoAndNeverWhenClosedHeld) {
    const CacheHome home;
    LocalServer server;
    server.Routes().Get(R"(/(\w+))", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content("body of " + req.matches[1].str(), "text/html");
    });
    server.Start();
    const Handle session = OpenSession();
    ASSERT_EQ(InternetSetStatusCallbackW(session.Get(), &CountCompletions), nullptr);
    const auto url = [&](const char* path) {
        return W("http://127.0.0.1:" + std::to_string(server.Port()) + path);
    };

    const Request unsent = OpenRequest(session.Get(), server.Port(), u"/early", 0);
    EXPECT_FALSE(Hold(unsent.Get(), 1));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    EXPECT_FALSE(Hold(session.Get(), 1));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);

    ASSERT_TRUE(Send(unsent));
    EXPECT_FALSE(Hold(unsent.Get(), 1, 1));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_BAD_OPTION_LENGTH);
    ASSERT_TRUE(Hold(unsent.Get(), 1));
    EXPECT_EQ(ReadBody(unsent.Get()), "body of early");
    EXPECT_FALSE(LookUp(url("/early")).found) << "written before the hold was let go";
    EXPECT_EQ(g_completed, 0);
    ASSERT_TRUE(Hold(unsent.Get(), 0));
    EXPECT_EQ(CachedBody(url("/early")), "body of early");
    EXPECT_EQ(g_completed, 1);
    EXPECT_TRUE(Hold(unsent.Get(), 0)) << "letting go twice does nothing more";
    EXPECT_EQ(g_completed, 1);

    {
        const Request dropped = OpenRequest(session.Get(), server.Port(), u"/dropped", 0);
        ASSERT_TRUE(Send(dropped));
        ASSERT_TRUE(Hold(dropped.Get(), 1));
        EXPECT_EQ(ReadBody(dropped.Get()), "body of dropped");
    }
    EXPECT_FALSE(LookUp(url("/dropped")).found) << "a handle closed while held keeps nothing";
    EXPECT_EQ(g_completed, 1);

    // Let go before the end is read: the end does what it always does.
    const Request released = OpenRequest(session.Get(), server.Port(), u"/released", 0);
    ASSERT_TRUE(Send(released));
    ASSERT_TRUE(Hold(released.Get(), 1));
    ASSERT_TRUE(Hold(released.Get(), 0));
    EXPECT_EQ(ReadBody(released.Get()), "body of released");
    EXPECT_TRUE(LookUp(url("/released")).found);
    EXPECT_EQ(g_completed, 2);
    InternetSetStatusCallbackW(session.Get(), nullptr);
}

} // namespace
