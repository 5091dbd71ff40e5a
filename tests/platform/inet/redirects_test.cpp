// SPDX-License-Identifier: Apache-2.0
// Redirects are followed inside the library, within limits, and the final
// URL and response are those of the last hop.
#include "platform/inet/WinInet.h"
#include "platform/kernel/LastError.h"
#include "support/InetTestSupport.h"
#include "support/TestServer.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace testsupport;

namespace {

constexpr DWORD kBothWays =
    INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;

TEST(Redirects, AreFollowedWithinLimitsToTheFinalResponseAndUrl) {
    TestServer plain;
    const Identity identity = MakeIdentity({});
    TestServer secure(identity);
    const std::string securePage = "https://" + secure.HostKey() + "/secure";
    plain.Reply("/r1", {307, "text/html", "", "r2"}); // relative
    plain.Reply("/r2", {301, "text/html", "", plain.Origin() + "/final"});
    plain.Page("/final", "arrived", "text/plain");
    plain.Reply("/loop", {307, "text/html", "", "/loop"});
    plain.Redirect("/to-ftp", "ftp://127.0.0.1/file");
    plain.Redirect("/to-secure", securePage);
    secure.Page("/secure", "over tls", "text/plain");
    secure.Redirect("/to-plain", plain.Origin() + "/final");
    struct Case {
        const TestServer& server;
        const char16_t* path;
        DWORD flags;
        DWORD error; // 0: sent
        std::string finalUrl;
    };
    const Case cases[] = {
        {plain, u"/r1", kBothWays, 0, plain.Origin() + "/final"},
        {plain, u"/r2", INTERNET_FLAG_NO_AUTO_REDIRECT, 0, plain.Origin() + "/r2"},
        {plain, u"/loop", kBothWays, ERROR_HTTP_REDIRECT_FAILED, ""},
        {plain, u"/to-ftp", kBothWays, ERROR_INTERNET_UNRECOGNIZED_SCHEME, ""},
        {plain, u"/to-secure", 0, ERROR_INTERNET_HTTP_TO_HTTPS_ON_REDIR, ""},
        {plain, u"/to-secure", kBothWays, 0, securePage},
        {secure, u"/to-plain", INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS,
         ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR, ""},
        {secure, u"/to-plain", INTERNET_FLAG_SECURE | kBothWays, 0, plain.Origin() + "/final"},
    };
    const Handle session = OpenSession();
    for (const Case& c : cases) {
        SCOPED_TRACE(A(c.path));
        const Request request = OpenRequest(session.Get(), c.server.Port(), c.path, c.flags);
        // Sent as the crawler sends: an unknown authority is accepted and the
        // same handle sent again.
        BOOL sent = Send(request);
        if (!sent && GetLastError() == ERROR_INTERNET_INVALID_CA) {
            DWORD security = 0;
            DWORD length = sizeof security;
            EXPECT_TRUE(InternetQueryOptionW(request.Get(), INTERNET_OPTION_SECURITY_FLAGS,
                                             &security, &length));
            security |= SECURITY_FLAG_IGNORE_UNKNOWN_CA;
            EXPECT_TRUE(InternetSetOptionW(request.Get(), INTERNET_OPTION_SECURITY_FLAGS, &security,
                                           length));
            sent = Send(request);
        }
        EXPECT_EQ(sent ? 0 : GetLastError(), c.error);
        EXPECT_EQ(sent ? FinalUrlOf(request.Get()) : "", c.finalUrl);
    }
    // Only the last hop's head and body are kept; an endless loop stops
    // after the first request and twenty followed redirects.
    const Exchange got = Fetch(session.Get(), plain.Port(), u"/r1", kBothWays);
    EXPECT_EQ(got.status, 200u);
    EXPECT_EQ(got.headers.find("Location"), std::string::npos);
    EXPECT_EQ(got.body, "arrived");
    const std::vector<std::string> targets = plain.Targets();
    EXPECT_EQ(std::count(targets.begin(), targets.end(), "/loop"), 21);
}

TEST(Redirects, CredentialsStayWithTheFirstHost) {
    RawServer other("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n");
    TestServer first;
    first.Redirect("/away", "http://127.0.0.1:" + std::to_string(other.Port()) + "/there");
    const Handle session = OpenSession();
    const Request request = OpenRequest(session.Get(), first.Port(), u"/away", 0);
    ASSERT_TRUE(Send(request, u"Cookie: a=1\r\nAuthorization: Basic eA==\r\nX-Keep: yes\r\n"
                              u"Host: 127.0.0.1\r\n"));
    const std::string head = other.Heads().at(0);
    EXPECT_EQ(head.find("Cookie:"), std::string::npos) << head;
    EXPECT_EQ(head.find("Authorization:"), std::string::npos);
    EXPECT_NE(head.find("X-Keep: yes"), std::string::npos);
    EXPECT_NE(head.find("Host: 127.0.0.1:" + std::to_string(other.Port())), std::string::npos);
}

} // namespace
