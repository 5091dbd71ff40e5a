// SPDX-License-Identifier: Apache-2.0
// Certificate problems are refused with their own errors and accepted
// exactly when the request's flags forgive them.
#include "platform/cache/CacheStore.h"
#include "platform/cache/UrlCacheStore.h"
#include "platform/inet/WinInet.h"
#include "platform/kernel/LastError.h"
#include "support/CacheHome.h"
#include "support/InetTestSupport.h"
#include "support/TestServer.h"
#include "support/TestServers.h"
#include "support/Text.h"

#include <gtest/gtest.h>

#include <openssl/pem.h>
#include <sys/mount.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <tuple>

using namespace testsupport;

namespace {

constexpr DWORD kCrawlerSecureFlags = INTERNET_FLAG_SECURE | INTERNET_FLAG_NO_CACHE_WRITE |
                                      INTERNET_FLAG_IGNORE_CERT_DATE_INVALID |
                                      INTERNET_FLAG_IGNORE_CERT_CN_INVALID;

DWORD SecurityFlagsOf(HINTERNET request) {
    DWORD flags = 0;
    DWORD length = sizeof flags;
    EXPECT_TRUE(InternetQueryOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, &length));
    return flags;
}

/// Sends once to `server`'s /secret with `flags`, first forgiving an
/// unknown authority when `anyAuthority`; the last error, or 0 when sent.
DWORD SendError(HINTERNET session, const TestServer& server, DWORD flags, bool anyAuthority) {
    const Request request = OpenRequest(session, server.Port(), u"/secret", flags);
    if (anyAuthority) {
        DWORD security = SecurityFlagsOf(request.Get()) | SECURITY_FLAG_IGNORE_UNKNOWN_CA;
        EXPECT_TRUE(InternetSetOptionW(request.Get(), INTERNET_OPTION_SECURITY_FLAGS, &security,
                                       sizeof security));
    }
    if (!Send(request)) {
        return GetLastError();
    }
    EXPECT_EQ(ReadBody(request.Get()), "secret"); // the connection is now idle in the session
    return 0;
}

TEST(Tls, EachCertificateProblemFailsUntilItsFlagForgivesIt) {
    const Identity authority = MakeIdentity({.authority = true});
    const Identity selfSigned = MakeIdentity({});
    const Identity expired = MakeIdentity({.validFromDays = -30, .validToDays = -1});
    const Identity notYetValid = MakeIdentity({.validFromDays = 1, .validToDays = 30});
    const Identity wrongName = MakeIdentity({.subjectAltName = "DNS:wrong.example"}, &authority);
    const Identity weakKey = MakeIdentity({.rsaBits = 1024});
    constexpr DWORD kStrict = INTERNET_FLAG_SECURE;
    constexpr DWORD kLenient = kCrawlerSecureFlags | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID;
    // a server's identity, the request's flags, whether any authority is
    // forgiven, and the send's error
    const std::tuple<const Identity&, DWORD, bool, DWORD> cases[] = {
        {selfSigned, kCrawlerSecureFlags, false, ERROR_INTERNET_INVALID_CA},
        {selfSigned, kCrawlerSecureFlags, true, 0},
        {expired, kStrict, true, ERROR_INTERNET_SEC_CERT_DATE_INVALID},
        {expired, kStrict | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID, true, 0},
        {notYetValid, kStrict, true, ERROR_INTERNET_SEC_CERT_DATE_INVALID},
        {notYetValid, kStrict | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID, true, 0},
        {wrongName, kStrict, true, ERROR_INTERNET_SEC_CERT_CN_INVALID},
        {wrongName, kStrict | INTERNET_FLAG_IGNORE_CERT_CN_INVALID, true, 0},
        // A key too small for the security level: no flag forgives it.
        {weakKey, kLenient, true, ERROR_INTERNET_SEC_INVALID_CERT},
    };
    for (const auto& [identity, flags, anyAuthority, error] : cases) {
        TestServer server(identity);
        server.Page("/secret", "secret", "text/plain");
        const Handle session = OpenSession();
        EXPECT_EQ(SendError(session.Get(), server, flags, anyAuthority), error) << flags;
    }
    const Handle session = OpenSession();
    const Request request = OpenRequest(session.Get(), 443, u"/", kCrawlerSecureFlags);
    EXPECT_EQ(SecurityFlagsOf(request.Get()), SECURITY_FLAG_SECURE |
                                                  SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                                                  SECURITY_FLAG_IGNORE_CERT_CN_INVALID);
}

TEST(Tls, OneConnectionServesRequestsWhateverTheyForgiveEachJudgedOnIt) {
    // A crawl's way with an unknown authority: each request first without
    // forgiving it, refused, then sent again forgiving it.
    const Identity selfSigned = MakeIdentity({});
    TestServer server(selfSigned);
    server.Page("/secret", "secret", "text/plain");
    const Handle session = OpenSession();
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(SendError(session.Get(), server, kCrawlerSecureFlags, false),
                  ERROR_INTERNET_INVALID_CA);
        ASSERT_EQ(SendError(session.Get(), server, kCrawlerSecureFlags, true), 0u);
    }
    EXPECT_LE(server.Handshakes(), 2) << "a handshake per refused request";
    EXPECT_EQ(server.Connections(), 1u);
    EXPECT_EQ(server.Requests().size(), 10u) << "a refused request reached the server";

    // Without what the session remembers of the host, a strict request
    // meets the kept-alive connection, then another thread's connection,
    // which resumes the TLS session: refused on each before it is sent.
    ::setenv("DRAVIK_FAULT", "KnownTlsVerdicts", 1);
    const int before = server.Handshakes();
    EXPECT_EQ(SendError(session.Get(), server, kCrawlerSecureFlags, false),
              ERROR_INTERNET_INVALID_CA);
    std::thread([&] {
        EXPECT_EQ(SendError(session.Get(), server, kCrawlerSecureFlags, true), 0u);
        EXPECT_EQ(SendError(session.Get(), server, kCrawlerSecureFlags, false),
                  ERROR_INTERNET_INVALID_CA);
    }).join();
    ::unsetenv("DRAVIK_FAULT");
    EXPECT_EQ(server.Requests().size(), 11u) << "a refused request reached the server";
    EXPECT_EQ(server.Handshakes(), before + 1);
    EXPECT_GE(server.ResumedHandshakes(), 1);
}

TEST(Tls, AProxyReachedOverTlsIsHeldToTheFullChecks) {
    const Identity selfSigned = MakeIdentity({});
    LocalServer proxy(selfSigned);
    std::atomic<int> forwarded{0};
    proxy.Routes().Get(".*", [&](const httplib::Request&, httplib::Response& res) {
        ++forwarded;
        res.set_content("injected", "text/plain");
    });
    proxy.Start();
    const std::u16string address = u"https://127.0.0.1:" + W(std::to_string(proxy.Port()));
    const Handle session(
        InternetOpenW(u"test", INTERNET_OPEN_TYPE_PROXY, address.c_str(), nullptr, 0));
    SetTimeouts(session.Get(), 10000);
    // Whatever the request forgives of its origin's certificate.
    for (DWORD security :
         {DWORD{0}, DWORD{SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                          SECURITY_FLAG_IGNORE_CERT_CN_INVALID}}) {
        const Request request = OpenRequest(session.Get(), 80, u"/secret", 0, u"example.test");
        EXPECT_TRUE(InternetSetOptionW(request.Get(), INTERNET_OPTION_SECURITY_FLAGS, &security,
                                       sizeof security));
        EXPECT_FALSE(Send(request));
    }
    EXPECT_EQ(forwarded, 0) << "a request went through a proxy nobody checked";
}

TEST(Tls, AnEntryKeptAtAnHttpsAddressIsUnverifiedWhenAnyHopWas) {
    CacheHome home;
    LocalServer plain;
    plain.Routes().Get("/page", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("page", "text/plain");
    });
    plain.Start();
    const Identity selfSigned = MakeIdentity({});
    TestServer secure(selfSigned);
    secure.Redirect("/start", "http://127.0.0.1:" + std::to_string(plain.Port()) + "/page");
    const Handle session = OpenSession();
    const Request request =
        OpenRequest(session.Get(), secure.Port(), u"/start",
                    INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP);
    DWORD security = SecurityFlagsOf(request.Get()) | SECURITY_FLAG_IGNORE_UNKNOWN_CA;
    ASSERT_TRUE(InternetSetOptionW(request.Get(), INTERNET_OPTION_SECURITY_FLAGS, &security,
                                   sizeof security));
    ASSERT_TRUE(Send(request));
    EXPECT_EQ(ReadBody(request.Get()), "page");
    urlcache::CommitBatchedEntries();
    const auto entry =
        urlcache::Lookup("https://127.0.0.1:" + std::to_string(secure.Port()) + "/start");
    ASSERT_TRUE(entry.HasValue()) << entry.Error().reason;
    EXPECT_TRUE(entry->unverified) << "an https address answered over plain http looks verified";
}

TEST(Tls, AChainOfATrustedAuthorityIsAcceptedUnderStrictFlags) {
    // Trusting a test authority means changing the machine's list of
    // authorities and host names: done only in private mount and network
    // namespaces (the test command runs it under `unshare -m -n` with
    // DRAVIK_PRIVATE_MOUNTS set), so that no name it looks up leaves them.
    if (std::getenv("DRAVIK_PRIVATE_MOUNTS") == nullptr) {
        GTEST_SKIP() << "needs its own mount namespace";
    }
    const Identity authority = MakeIdentity({.authority = true});
    const Identity server = MakeIdentity({}, &authority);
    const Identity wrongName = MakeIdentity({.subjectAltName = "DNS:wrong.example"}, &authority);
    const char* bundle = "/etc/ssl/certs/ca-certificates.crt";
    const std::string trusted = ::testing::TempDir() + "/trusted-bundle.crt";
    std::filesystem::copy_file(bundle, trusted, std::filesystem::copy_options::overwrite_existing);
    FILE* out = std::fopen(trusted.c_str(), "a");
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(PEM_write_X509(out, authority.cert.get()), 1);
    std::fclose(out);
    ASSERT_EQ(::mount(trusted.c_str(), bundle, nullptr, MS_BIND, nullptr), 0) << errno;

    TestServer good(server);
    good.Page("/secret", "secret", "text/plain");
    TestServer named(wrongName);
    named.Page("/secret", "secret", "text/plain");
    const Handle session = OpenSession();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(SendError(session.Get(), good, INTERNET_FLAG_SECURE, false), 0u);
        EXPECT_EQ(SendError(session.Get(), named, INTERNET_FLAG_SECURE, false),
                  ERROR_INTERNET_SEC_CERT_CN_INVALID);
    }
    EXPECT_EQ(good.Handshakes(), 1);
    EXPECT_EQ(SendError(session.Get(), named, kCrawlerSecureFlags, false), 0u);

    // Names as browsers and libcurl match them: a wildcard only as a whole
    // label, a trailing dot ignored, the common name only without any
    // alternative name.
    const std::string hosts = ::testing::TempDir() + "/hosts";
    std::ofstream(hosts) << "127.0.0.1 localhost www.wild.test trailing.test trailing.test.\n";
    ASSERT_EQ(::mount(hosts.c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr), 0) << errno;
    const Identity partial = MakeIdentity({.subjectAltName = "DNS:w*.wild.test"}, &authority);
    const Identity dotted = MakeIdentity({.subjectAltName = "DNS:trailing.test"}, &authority);
    const Identity onlyCommon =
        MakeIdentity({.subjectAltName = "", .commonName = "127.0.0.1"}, &authority);
    const std::tuple<const Identity&, std::u16string, DWORD> names[] = {
        {partial, u"www.wild.test", ERROR_INTERNET_SEC_CERT_CN_INVALID},
        {dotted, u"trailing.test.", 0},
        {onlyCommon, u"127.0.0.1", 0},
    };
    for (const auto& [identity, host, error] : names) {
        TestServer site(identity);
        site.Page("/secret", "secret", "text/plain");
        const Request request =
            OpenRequest(session.Get(), site.Port(), u"/secret", INTERNET_FLAG_SECURE, host);
        EXPECT_EQ(Send(request) ? 0u : GetLastError(), error) << A(host);
    }
    ::umount("/etc/hosts");
    ::umount(bundle);
}

} // namespace
