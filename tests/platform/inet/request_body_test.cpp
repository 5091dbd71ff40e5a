// SPDX-License-Identifier: Apache-2.0
// Requests with other methods than GET and a body: what the server gets,
// how redirects treat them, and that their answers are never cached.
#include "platform/inet/WinInet.h"
#include "platform/kernel/LastError.h"
#include "support/CacheHome.h"
#include "support/InetTestSupport.h"
#include "support/TestServers.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

class RequestBodyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto echo = [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.method + " " + req.get_header_value("Content-Type") + " [" +
                                req.body + "] expect=" + req.get_header_value("Expect"),
                            "text/plain");
        };
        auto& routes = m_server.Routes();
        routes.Post("/echo", echo).Put("/echo", echo).Delete("/echo", echo).Get("/echo", echo);
        routes.Post("/see-other", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("/echo", 303);
        });
        routes.Post("/temporary", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("/echo", 307);
        });
        m_server.Start();
        m_session = OpenSession();
    }

    /// Sends `verb` with `body` and the block `headers`; the body back.
    std::string Exchange(const char16_t* verb, const std::u16string& path, const std::string& body,
                         const std::u16string& headers = u"", DWORD flags = 0) {
        const Handle connect(InternetConnectW(m_session.Get(), u"127.0.0.1",
                                              static_cast<INTERNET_PORT>(m_server.Port()), nullptr,
                                              nullptr, INTERNET_SERVICE_HTTP, 0, 0));
        const Handle request(HttpOpenRequestW(connect.Get(), verb, path.c_str(), u"HTTP/1.1",
                                              nullptr, nullptr, flags, 0));
        if (!request) {
            return "refused " + std::to_string(GetLastError());
        }
        std::string copy = body;
        if (!HttpSendRequestW(request.Get(), headers.c_str(), static_cast<DWORD>(headers.size()),
                              copy.empty() ? nullptr : copy.data(),
                              static_cast<DWORD>(copy.size()))) {
            return "failed " + std::to_string(GetLastError());
        }
        return std::to_string(StatusOf(request.Get())) + " " + ReadBody(request.Get());
    }

    CacheHome m_home;
    LocalServer m_server;
    Handle m_session;
};

TEST_F(RequestBodyTest, MethodsCarryTheirBodiesAndRedirectsTreatThemAsBrowsersDo) {
    const std::string large(3 << 20, 'x'); // large enough for libcurl to want "100 Continue"
    const struct {
        const char16_t* verb;
        std::u16string path;
        std::string body;
        std::u16string headers;
        std::string expected;
    } cases[] = {
        {u"POST", u"/echo", "a=1&b=2", u"Content-Type: application/x-www-form-urlencoded\r\n",
         "200 POST application/x-www-form-urlencoded [a=1&b=2] expect="},
        {u"POST", u"/echo", "raw", u"", "200 POST  [raw] expect="},
        {u"PUT", u"/echo", "{}", u"Content-Type: application/json\r\n",
         "200 PUT application/json [{}] expect="},
        {u"DELETE", u"/echo", "", u"", "200 DELETE  [] expect="},
        {u"POST", u"/see-other", "form", u"", "200 GET  [] expect="},
        {u"POST", u"/temporary", "form", u"", "200 POST  [form] expect="},
        {u"POST", u"/echo", large, u"", "200 POST  [" + large + "] expect="},
        {u"GE T", u"/echo", "", u"", "refused 87"},
        {u"CONNECT", u"/echo", "", u"", "refused 87"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Exchange(c.verb, c.path, c.body, c.headers), c.expected) << A(c.verb);
    }
    Exchange(u"POST", u"/echo", "x", u"", INTERNET_FLAG_NEED_FILE);
    const std::u16string url = W("http://127.0.0.1:" + std::to_string(m_server.Port()) + "/echo");
    EXPECT_FALSE(LookUp(url).found) << "only a GET's answer is kept";
    Exchange(u"GET", u"/echo", "", u"", INTERNET_FLAG_NEED_FILE);
    EXPECT_TRUE(LookUp(url).found);
}

} // namespace
