// Failures reach the caller as the internet library's error numbers, and
// time-outs cut waits short.
#include "platform/inet/WinInet.h"
#include "platform/kernel/LastError.h"
#include "support/InetTestSupport.h"
#include "support/TestServers.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace testsupport;

namespace {

using Clock = std::chrono::steady_clock;

void SetTimeouts(HINTERNET session, DWORD ms) {
    for (const DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                               INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT,
                               INTERNET_OPTION_DATA_RECEIVE_TIMEOUT}) {
        ASSERT_TRUE(InternetSetOptionW(session, option, &ms, sizeof ms));
    }
}

long MillisecondsSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

TEST(FailureTest, RefusedConnectionAndUnknownHost) {
    const Handle session = OpenSession();
    EXPECT_FALSE(Fetch(session.Get(), ClosedPort(), u"/", 0).sent);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_CANNOT_CONNECT);

    const Request request = OpenRequest(session.Get(), 80, u"/", 0, u"no-such-host.invalid");
    EXPECT_FALSE(Send(request));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_NAME_NOT_RESOLVED);
}

TEST(FailureTest, SilentServerTimesOutTheSend) {
    RawServer server([](RawServer& self, int, const std::string&) { self.Idle(5000); });
    const Handle session = OpenSession();
    SetTimeouts(session.Get(), 300);
    const auto start = Clock::now();
    EXPECT_FALSE(Fetch(session.Get(), server.Port(), u"/", 0).sent);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
    EXPECT_GE(MillisecondsSince(start), 290);
    EXPECT_LT(MillisecondsSince(start), 2000);
}

TEST(FailureTest, StalledBodyTimesOutTheRead) {
    RawServer server([](RawServer& self, int fd, const std::string&) {
        RawServer::Send(fd, "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nten bytes!");
        self.Idle(5000);
    });
    const Handle session = OpenSession();
    SetTimeouts(session.Get(), 300);
    const Request request = OpenRequest(session.Get(), server.Port(), u"/", 0);
    ASSERT_TRUE(Send(request));
    bool ok = true;
    const auto start = Clock::now();
    EXPECT_EQ(ReadBody(request.Get(), 4096, nullptr, &ok), "ten bytes!");
    EXPECT_FALSE(ok);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
    EXPECT_LT(MillisecondsSince(start), 2000);
    // The failure sticks to the request.
    DWORD got = 0;
    char byte = 0;
    EXPECT_FALSE(InternetReadFile(request.Get(), &byte, 1, &got));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
}

TEST(FailureTest, TruncatedBodyFailsTheRead) {
    RawServer server([](RawServer&, int fd, const std::string&) {
        RawServer::Send(fd, "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nshort");
    });
    const Handle session = OpenSession();
    const Request request = OpenRequest(session.Get(), server.Port(), u"/", 0);
    ASSERT_TRUE(Send(request));
    bool ok = true;
    ReadBody(request.Get(), 4096, nullptr, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_CONNECTION_ABORTED);
}

TEST(FailureTest, OptionsAreCheckedAndInherited) {
    const Handle session = OpenSession();
    DWORD value = 1234;
    ASSERT_TRUE(InternetSetOptionW(session.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &value, 4));
    const Request request = OpenRequest(session.Get(), 80, u"/", 0);
    DWORD length = sizeof value;
    value = 0;
    ASSERT_TRUE(
        InternetQueryOptionW(request.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &value, &length));
    EXPECT_EQ(value, 1234u);
    EXPECT_FALSE(InternetSetOptionW(session.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &value, 2));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_BAD_OPTION_LENGTH);
    EXPECT_FALSE(InternetSetOptionW(session.Get(), INTERNET_OPTION_SECURITY_FLAGS, &value, 4));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    EXPECT_FALSE(InternetQueryOptionW(session.Get(), 9999, &value, &length));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INVALID_OPTION);
}

} // namespace
