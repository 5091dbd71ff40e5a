// SPDX-License-Identifier: Apache-2.0
// Sequential requests of one session share a kept-alive connection.
#include "platform/inet/WinInet.h"
#include "support/InetTestSupport.h"
#include "support/TestServer.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

TEST(KeepAlive, SequentialRequestsReuseOneConnection) {
    TestServer server;
    const Handle session = OpenSession();
    for (int i = 0; i < 20; ++i) {
        const std::string page = "/page/" + std::to_string(i);
        server.Page(page, page);
        ASSERT_EQ(Fetch(session.Get(), server.Port(), W(page), 0).body, page);
    }
    EXPECT_EQ(server.Connections(), 1u);
}

} // namespace
