// SPDX-License-Identifier: Apache-2.0
// The offline-by-user state: set through option 50, honoured by sends and
// left only through the go-online prompt. That other processes see it is
// proven by the command's tests (`dravik offline on`, then `sync`).
#include "platform/inet/WinInet.h"
#include "platform/kernel/LastError.h"
#include "support/CacheHome.h"
#include "support/InetTestSupport.h"
#include "support/TestServer.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

DWORD ConnectedState() {
    DWORD state = 0;
    DWORD length = sizeof state;
    EXPECT_TRUE(InternetQueryOptionW(nullptr, INTERNET_OPTION_CONNECTED_STATE, &state, &length));
    return state;
}

TEST(ConnectedState, OfflineByUserBlocksSendsUntilThePromptBringsItOnline) {
    const CacheHome home;
    TestServer server;
    server.Page("/", "online");
    const Handle session = OpenSession();
    const char16_t* url = u"http://example.test/orx";
    EXPECT_TRUE(InternetGoOnlineW(url, nullptr, 0)) << "already online";

    INTERNET_CONNECTED_INFO offline{INTERNET_STATE_DISCONNECTED_BY_USER, ISO_FORCE_DISCONNECTED};
    ASSERT_TRUE(
        InternetSetOptionW(nullptr, INTERNET_OPTION_CONNECTED_STATE, &offline, sizeof offline));
    EXPECT_EQ(ConnectedState(), INTERNET_STATE_DISCONNECTED_BY_USER);
    EXPECT_EQ(Fetch(session.Get(), server.Port(), u"/", 0).error, ERROR_INTERNET_DISCONNECTED);
    EXPECT_FALSE(InternetGoOnlineW(url, nullptr, 0)) << "no prompt";
    EXPECT_EQ(GetLastError(), ERROR_CANCELLED);
    // How a declined prompt leaves the run is proven by the panel's tests.
    std::u16string asked;
    SetGoOnlinePrompt([&](const char16_t* question) {
        asked = question;
        return true;
    });
    EXPECT_TRUE(InternetGoOnlineW(url, nullptr, 0));
    SetGoOnlinePrompt(nullptr);
    EXPECT_EQ(asked, url);
    EXPECT_EQ(ConnectedState(), INTERNET_STATE_CONNECTED);
    EXPECT_EQ(Fetch(session.Get(), server.Port(), u"/", 0).body, "online");
}

} // namespace
