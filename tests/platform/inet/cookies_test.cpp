// Each session keeps its own cookies; INTERNET_FLAG_NO_COOKIES keeps a
// request out of them.
#include "platform/inet/WinInet.h"
#include "support/InetTestSupport.h"
#include "support/TestServers.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

class CookieTest : public ::testing::Test {
  protected:
    void SetUp() override {
        server_.Routes().Get("/set", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("Set-Cookie", "sid=abc; Path=/");
            res.set_content("set", "text/plain");
        });
        server_.Routes().Get("/echo", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.get_header_value("Cookie"), "text/plain");
        });
        server_.Start();
    }

    std::string Echo(const Handle& session, DWORD flags, std::u16string_view headers = u"") {
        return Fetch(session.Get(), server_.Port(), u"/echo", flags, headers).body;
    }

    LocalServer server_;
};

TEST_F(CookieTest, SessionSendsBackWhatItWasGiven) {
    const Handle session = OpenSession();
    Fetch(session.Get(), server_.Port(), u"/set", 0);
    EXPECT_EQ(Echo(session, 0), "sid=abc");
    EXPECT_EQ(Echo(session, INTERNET_FLAG_NO_COOKIES), "");
    EXPECT_EQ(Echo(session, INTERNET_FLAG_NO_COOKIES, u"Cookie: mine=1\r\n"), "mine=1");

    const Handle other = OpenSession();
    EXPECT_EQ(Echo(other, 0), "") << "cookies belong to their session";
}

TEST_F(CookieTest, NoCookiesRequestDoesNotStoreCookies) {
    const Handle session = OpenSession();
    Fetch(session.Get(), server_.Port(), u"/set", INTERNET_FLAG_NO_COOKIES);
    EXPECT_EQ(Echo(session, 0), "");
}

} // namespace
