// Redirects are followed inside the library, within limits, and the final
// URL and response are those of the last hop.
#include "platform/inet/WinInet.h"
#include "platform/kernel/LastError.h"
#include "support/InetTestSupport.h"
#include "support/TestServers.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace testsupport;

namespace {

constexpr DWORD kBothWays =
    INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;

class RedirectTest : public ::testing::Test {
  protected:
    void SetUp() override {
        secure_ = std::make_unique<LocalServer>(identity_);
        secure_->Routes().Get("/secure", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("over tls", "text/plain");
        });
        secure_->Routes().Get("/to-plain", [this](const httplib::Request&, httplib::Response& res) {
            res.set_redirect(PlainUrl("/final"));
        });
        secure_->Start();

        auto& routes = plain_.Routes();
        routes.Get("/r1", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("r2", 302); // relative
        });
        routes.Get("/r2", [this](const httplib::Request&, httplib::Response& res) {
            res.set_redirect(PlainUrl("/final"), 301);
        });
        routes.Get("/final", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("X-Hop", "last");
            res.set_content("arrived", "text/plain");
        });
        routes.Get("/loop", [this](const httplib::Request&, httplib::Response& res) {
            ++loops_;
            res.set_redirect("/loop", 307);
        });
        routes.Get("/to-ftp", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("ftp://127.0.0.1/file");
        });
        routes.Get("/to-secure", [this](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("https://127.0.0.1:" + std::to_string(secure_->Port()) + "/secure");
        });
        plain_.Start();
        session_ = OpenSession();
    }

    std::string PlainUrl(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(plain_.Port()) + path;
    }

    /// Sends like the crawler: after 12045 the unknown authority is accepted
    /// and the same handle sent again.
    DWORD SendAcceptingUnknownCa(const Request& request) {
        if (Send(request)) {
            return 0;
        }
        if (GetLastError() != ERROR_INTERNET_INVALID_CA) {
            return GetLastError();
        }
        DWORD flags = 0;
        DWORD length = sizeof flags;
        InternetQueryOptionW(request.Get(), INTERNET_OPTION_SECURITY_FLAGS, &flags, &length);
        flags |= SECURITY_FLAG_IGNORE_UNKNOWN_CA;
        InternetSetOptionW(request.Get(), INTERNET_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
        return Send(request) ? 0 : GetLastError();
    }

    Identity identity_ = MakeIdentity({});
    std::unique_ptr<LocalServer> secure_;
    LocalServer plain_;
    Handle session_;
    std::atomic<int> loops_{0};
};

TEST_F(RedirectTest, ChainEndsAtTheFinalResponseAndUrl) {
    const Exchange got = Fetch(session_.Get(), plain_.Port(), u"/r1", kBothWays);
    ASSERT_TRUE(got.sent) << got.error;
    EXPECT_EQ(got.status, 200u);
    EXPECT_NE(got.headers.find("X-Hop: last"), std::string::npos);
    EXPECT_EQ(got.headers.find("Location"), std::string::npos) << "only the final head is kept";
    EXPECT_EQ(got.finalUrl, PlainUrl("/final"));
    EXPECT_EQ(got.body, "arrived");
}

TEST_F(RedirectTest, HttpToHttpsNeedsItsIgnoreFlag) {
    const Request refused = OpenRequest(session_.Get(), plain_.Port(), u"/to-secure", 0);
    EXPECT_FALSE(Send(refused));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_HTTP_TO_HTTPS_ON_REDIR);

    const Request allowed = OpenRequest(session_.Get(), plain_.Port(), u"/to-secure", kBothWays);
    ASSERT_EQ(SendAcceptingUnknownCa(allowed), 0u);
    EXPECT_EQ(FinalUrlOf(allowed.Get()),
              "https://127.0.0.1:" + std::to_string(secure_->Port()) + "/secure");
    EXPECT_EQ(ReadBody(allowed.Get()), "over tls");
}

TEST_F(RedirectTest, HttpsToHttpNeedsItsIgnoreFlag) {
    const Request refused =
        OpenRequest(session_.Get(), secure_->Port(), u"/to-plain",
                    INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS);
    EXPECT_EQ(SendAcceptingUnknownCa(refused), ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR);

    const Request allowed = OpenRequest(session_.Get(), secure_->Port(), u"/to-plain",
                                        INTERNET_FLAG_SECURE | kBothWays);
    ASSERT_EQ(SendAcceptingUnknownCa(allowed), 0u);
    EXPECT_EQ(FinalUrlOf(allowed.Get()), PlainUrl("/final"));
}

TEST_F(RedirectTest, EndlessRedirectsStopAfterTwenty) {
    const Request request = OpenRequest(session_.Get(), plain_.Port(), u"/loop", kBothWays);
    EXPECT_FALSE(Send(request));
    EXPECT_EQ(GetLastError(), ERROR_HTTP_REDIRECT_FAILED);
    EXPECT_EQ(loops_.load(), 21) << "the first request and twenty followed redirects";

    const Request elsewhere = OpenRequest(session_.Get(), plain_.Port(), u"/to-ftp", kBothWays);
    EXPECT_FALSE(Send(elsewhere));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_UNRECOGNIZED_SCHEME);
}

TEST_F(RedirectTest, NoAutoRedirectGivesTheRedirectItself) {
    const Exchange got =
        Fetch(session_.Get(), plain_.Port(), u"/r2", INTERNET_FLAG_NO_AUTO_REDIRECT);
    EXPECT_EQ(got.status, 301u);
    EXPECT_EQ(got.finalUrl, PlainUrl("/r2"));
}

TEST(RedirectHeadersTest, CredentialsStayWithTheFirstHost) {
    RawServer other([](RawServer&, int fd, const std::string&) {
        RawServer::Send(fd, "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n");
    });
    LocalServer first;
    first.Routes().Get("/away", [&](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("http://127.0.0.1:" + std::to_string(other.Port()) + "/there");
    });
    first.Start();
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
