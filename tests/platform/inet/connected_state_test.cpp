// The offline-by-user state: set through option 50, seen by other
// processes, honoured by sends and left only through the go-online prompt.
#include "platform/inet/WinInet.h"
#include "platform/kernel/LastError.h"
#include "support/CacheHome.h"
#include "support/ChildProcess.h"
#include "support/InetTestSupport.h"
#include "support/TestServers.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

DWORD ConnectedState() {
    DWORD state = 0;
    DWORD length = sizeof state;
    EXPECT_TRUE(InternetQueryOptionW(nullptr, INTERNET_OPTION_CONNECTED_STATE, &state, &length));
    return state;
}

void SetConnectedState(DWORD state) {
    INTERNET_CONNECTED_INFO info{
        state, state == INTERNET_STATE_DISCONNECTED_BY_USER ? ISO_FORCE_DISCONNECTED : 0};
    ASSERT_TRUE(InternetSetOptionW(nullptr, INTERNET_OPTION_CONNECTED_STATE, &info, sizeof info));
}

DWORD StateSeenByAnotherProcess() {
    return static_cast<DWORD>(WaitForChild(SpawnChild("connected-state", "")));
}

class ConnectedStateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        server_.Routes().Get("/", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("online", "text/plain");
        });
        server_.Start();
    }
    void TearDown() override { SetGoOnlinePrompt(nullptr); }

    CacheHome home_;
    LocalServer server_;
};

TEST_F(ConnectedStateTest, OfflineByUserIsSharedAndBlocksSends) {
    EXPECT_EQ(ConnectedState(), INTERNET_STATE_CONNECTED);
    SetConnectedState(INTERNET_STATE_DISCONNECTED_BY_USER);
    EXPECT_EQ(ConnectedState(), INTERNET_STATE_DISCONNECTED_BY_USER);
    EXPECT_EQ(StateSeenByAnotherProcess(), INTERNET_STATE_DISCONNECTED_BY_USER);

    const Handle session = OpenSession();
    const Exchange blocked = Fetch(session.Get(), server_.Port(), u"/", 0);
    EXPECT_FALSE(blocked.sent);
    EXPECT_EQ(blocked.error, ERROR_INTERNET_DISCONNECTED);

    SetConnectedState(INTERNET_STATE_CONNECTED);
    EXPECT_EQ(StateSeenByAnotherProcess(), INTERNET_STATE_CONNECTED);
    EXPECT_EQ(Fetch(session.Get(), server_.Port(), u"/", 0).body, "online");
}

TEST_F(ConnectedStateTest, GoingOnlineAsksThePrompt) {
    EXPECT_TRUE(InternetGoOnlineW(u"http://example.test/", nullptr, 0)) << "already online";

    SetConnectedState(INTERNET_STATE_DISCONNECTED_BY_USER);
    EXPECT_FALSE(InternetGoOnlineW(u"http://example.test/", nullptr, 0)) << "no prompt";
    EXPECT_EQ(GetLastError(), ERROR_CANCELLED);

    std::u16string asked;
    SetGoOnlinePrompt([&](const char16_t* url) {
        asked = url;
        return false;
    });
    EXPECT_FALSE(InternetGoOnlineW(u"http://example.test/orx", nullptr, 0));
    EXPECT_EQ(asked, u"http://example.test/orx");
    EXPECT_EQ(ConnectedState(), INTERNET_STATE_DISCONNECTED_BY_USER);

    SetGoOnlinePrompt([](const char16_t*) { return true; });
    EXPECT_TRUE(InternetGoOnlineW(u"http://example.test/orx", nullptr, 0));
    EXPECT_EQ(ConnectedState(), INTERNET_STATE_CONNECTED);
}

} // namespace
