// SPDX-License-Identifier: Apache-2.0
// Failures reach the caller as the internet library's error numbers, and
// time-outs cut waits short. A refused connection is proven through
// CHttpRequest and the status callback.
#include "platform/inet/WinInet.h"
#include "platform/kernel/LastError.h"
#include "support/InetTestSupport.h"
#include "support/TestServers.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace testsupport;

namespace {

TEST(Failures, SendsAndReadsFailWithTheirOwnErrorsAndTimeOutsCutWaitsShort) {
    struct Case {
        const char* what;
        std::string reply;
        bool stall;
        DWORD sendError; // 0: sent
        std::string body;
        DWORD readError;
    };
    const std::string head = "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n";
    const Case cases[] = {
        {"silent server", "", true, ERROR_INTERNET_TIMEOUT, "", 0},
        {"stalled body", head + "ten bytes!", true, 0, "ten bytes!", ERROR_INTERNET_TIMEOUT},
        {"truncated body", head + "short", false, 0, "short", ERROR_INTERNET_CONNECTION_ABORTED},
    };
    for (const Case& c : cases) {
        RawServer server([&c](RawServer& self, int fd, const std::string&) {
            RawServer::Send(fd, c.reply);
            self.Idle(c.stall ? 5000 : 0);
        });
        const Handle session = OpenSession();
        SetTimeouts(session.Get(), 300);
        const auto start = std::chrono::steady_clock::now();
        const Exchange got = Fetch(session.Get(), server.Port(), u"/", 0);
        const auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(got.sent ? got.error : 0u, c.readError) << c.what;
        EXPECT_EQ(got.sent ? 0u : got.error, c.sendError) << c.what;
        EXPECT_EQ(got.body, c.body) << c.what;
        EXPECT_LT(waited, std::chrono::seconds(2)) << c.what;
        if (c.stall) {
            EXPECT_GE(waited, std::chrono::milliseconds(290)) << c.what;
        }
    }
    const Handle session = OpenSession();
    const Request request = OpenRequest(session.Get(), 80, u"/", 0, u"no-such-host.invalid");
    EXPECT_FALSE(Send(request));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_NAME_NOT_RESOLVED);
}

// That a request takes the session's options is proven by the time-outs above.
TEST(Failures, HandlesAndOptionsAreChecked) {
    Handle session = OpenSession();
    DWORD value = 1234;
    DWORD length = sizeof value;
    // The error of each call, taken before the next (a braced list runs in order).
    const auto error = [](BOOL ok) { return ok ? DWORD{0} : GetLastError(); };
    const std::pair<DWORD, DWORD> errors[] = {
        {error(InternetSetOptionW(session.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &value, 2)),
         ERROR_INTERNET_BAD_OPTION_LENGTH},
        {error(InternetSetOptionW(session.Get(), INTERNET_OPTION_SECURITY_FLAGS, &value, 4)),
         ERROR_INTERNET_INCORRECT_HANDLE_TYPE},
        {error(InternetQueryOptionW(session.Get(), 9999, &value, &length)),
         ERROR_INTERNET_INVALID_OPTION},
        {error(HttpSendRequestW(session.Get(), nullptr, 0, nullptr, 0)),
         ERROR_INTERNET_INCORRECT_HANDLE_TYPE},
    };
    for (const auto& [got, expected] : errors) {
        EXPECT_EQ(got, expected);
    }
    HINTERNET stale = session.Get();
    session.reset();
    EXPECT_FALSE(InternetCloseHandle(stale));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

} // namespace
