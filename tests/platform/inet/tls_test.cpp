// Certificate problems are refused with their own errors and accepted
// exactly when the request's flags forgive them.
#include "platform/inet/WinInet.h"
#include "platform/kernel/LastError.h"
#include "support/InetTestSupport.h"
#include "support/TestServers.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

constexpr DWORD kCrawlerSecureFlags = INTERNET_FLAG_SECURE | INTERNET_FLAG_NO_CACHE_WRITE |
                                      INTERNET_FLAG_IGNORE_CERT_DATE_INVALID |
                                      INTERNET_FLAG_IGNORE_CERT_CN_INVALID;

std::unique_ptr<LocalServer> SecureServer(const Identity& identity) {
    auto server = std::make_unique<LocalServer>(identity);
    server->Routes().Get("/secret", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("secret", "text/plain");
    });
    server->Start();
    return server;
}

DWORD SecurityFlagsOf(HINTERNET request) {
    DWORD flags = 0;
    DWORD length = sizeof flags;
    EXPECT_TRUE(InternetQueryOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, &length));
    return flags;
}

void AddSecurityFlags(HINTERNET request, DWORD added) {
    DWORD flags = SecurityFlagsOf(request) | added;
    ASSERT_TRUE(InternetSetOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, sizeof flags));
}

/// The send's last error, or 0 when it succeeded.
DWORD SendError(const Request& request) {
    return Send(request) ? 0 : GetLastError();
}

TEST(TlsTest, UnknownAuthorityFailsUntilTheSecurityFlagsForgiveIt) {
    const Identity selfSigned = MakeIdentity({});
    const auto server = SecureServer(selfSigned);
    const Handle session = OpenSession();
    const Request request =
        OpenRequest(session.Get(), server->Port(), u"/secret", kCrawlerSecureFlags);
    EXPECT_EQ(SendError(request), ERROR_INTERNET_INVALID_CA);
    EXPECT_EQ(SecurityFlagsOf(request.Get()), SECURITY_FLAG_SECURE |
                                                  SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                                                  SECURITY_FLAG_IGNORE_CERT_CN_INVALID);

    AddSecurityFlags(request.Get(), SECURITY_FLAG_IGNORE_UNKNOWN_CA);
    ASSERT_EQ(SendError(request), 0u);
    EXPECT_EQ(StatusOf(request.Get()), 200u);
    EXPECT_EQ(ReadBody(request.Get()), "secret");
}

TEST(TlsTest, BadDatesAreAcceptedOnlyWithTheDateFlag) {
    const Identity expired = MakeIdentity({.validFromDays = -30, .validToDays = -1});
    const Identity notYetValid = MakeIdentity({.validFromDays = 1, .validToDays = 30});
    for (const Identity* identity : {&expired, &notYetValid}) {
        const auto server = SecureServer(*identity);
        const Handle session = OpenSession();
        const Request strict =
            OpenRequest(session.Get(), server->Port(), u"/secret", INTERNET_FLAG_SECURE);
        AddSecurityFlags(strict.Get(), SECURITY_FLAG_IGNORE_UNKNOWN_CA);
        EXPECT_EQ(SendError(strict), ERROR_INTERNET_SEC_CERT_DATE_INVALID);

        const Request lenient =
            OpenRequest(session.Get(), server->Port(), u"/secret",
                        INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID);
        AddSecurityFlags(lenient.Get(), SECURITY_FLAG_IGNORE_UNKNOWN_CA);
        EXPECT_EQ(SendError(lenient), 0u);
    }
}

TEST(TlsTest, WrongNameIsAcceptedOnlyWithTheNameFlag) {
    const Identity authority = MakeIdentity({.authority = true});
    const Identity wrongName = MakeIdentity({.subjectAltName = "DNS:wrong.example"}, &authority);
    const auto server = SecureServer(wrongName);
    const Handle session = OpenSession();
    const Request strict =
        OpenRequest(session.Get(), server->Port(), u"/secret", INTERNET_FLAG_SECURE);
    AddSecurityFlags(strict.Get(), SECURITY_FLAG_IGNORE_UNKNOWN_CA);
    EXPECT_EQ(SendError(strict), ERROR_INTERNET_SEC_CERT_CN_INVALID);

    const Request lenient =
        OpenRequest(session.Get(), server->Port(), u"/secret",
                    INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_CN_INVALID);
    AddSecurityFlags(lenient.Get(), SECURITY_FLAG_IGNORE_UNKNOWN_CA);
    EXPECT_EQ(SendError(lenient), 0u);
}

TEST(TlsTest, AConnectionAcceptedLenientlyIsNotReusedForAStrictRequest) {
    const Identity selfSigned = MakeIdentity({});
    const auto server = SecureServer(selfSigned);
    const Handle session = OpenSession();
    const Request lenient =
        OpenRequest(session.Get(), server->Port(), u"/secret", kCrawlerSecureFlags);
    AddSecurityFlags(lenient.Get(), SECURITY_FLAG_IGNORE_UNKNOWN_CA);
    ASSERT_EQ(SendError(lenient), 0u);
    EXPECT_EQ(ReadBody(lenient.Get()), "secret"); // the connection is now idle in the session

    const Request strict =
        OpenRequest(session.Get(), server->Port(), u"/secret", kCrawlerSecureFlags);
    EXPECT_EQ(SendError(strict), ERROR_INTERNET_INVALID_CA);
}

} // namespace

namespace {
TEST(TlsTest, LenientRequestsShareTheirConnection) {
    const Identity selfSigned = MakeIdentity({});
    const auto server = SecureServer(selfSigned);
    const Handle session = OpenSession();
    for (int i = 0; i < 3; ++i) {
        const Request request =
            OpenRequest(session.Get(), server->Port(), u"/secret", kCrawlerSecureFlags);
        AddSecurityFlags(request.Get(), SECURITY_FLAG_IGNORE_UNKNOWN_CA);
        ASSERT_EQ(SendError(request), 0u);
        EXPECT_EQ(ReadBody(request.Get()), "secret");
    }
    EXPECT_EQ(server->Connections(), 1u);
}
} // namespace
