// Sequential requests of one session share a kept-alive connection.
#include "platform/inet/WinInet.h"
#include "support/InetTestSupport.h"
#include "support/TestServers.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

constexpr int kRequests = 20;

TEST(KeepAliveTest, SequentialRequestsReuseOneConnection) {
    LocalServer server;
    server.Routes().Get(R"(/page/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content("page " + req.matches[1].str(), "text/html");
    });
    server.Start();
    const Handle session = OpenSession();
    for (int i = 0; i < kRequests; ++i) {
        const Exchange got =
            Fetch(session.Get(), server.Port(), W("/page/" + std::to_string(i)), 0);
        ASSERT_EQ(got.body, "page " + std::to_string(i));
    }
    EXPECT_EQ(server.Connections(), 1u) << kRequests << " requests";
}

TEST(KeepAliveTest, SessionsDoNotShareConnections) {
    LocalServer server;
    server.Routes().Get("/", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("x", "text/plain");
    });
    server.Start();
    const Handle first = OpenSession();
    const Handle second = OpenSession();
    Fetch(first.Get(), server.Port(), u"/", 0);
    Fetch(second.Get(), server.Port(), u"/", 0);
    EXPECT_EQ(server.Connections(), 2u);
}

} // namespace
