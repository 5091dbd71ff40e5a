// SPDX-License-Identifier: Apache-2.0
// Clients on other machines (--allow) reach nothing of the proxy's machine.
// Run in network and mount namespaces of its own (the test command starts
// it under `unshare -n -m`): 198.51.100.7 on that namespace's loopback
// stands for the network's client, 198.51.100.1 for an interface address
// of the machine, and names of its own resolve to them, so nothing the
// proxy sends, right or wrong, can leave the namespace.
#include "ProxyFixture.h"

#include <sys/mount.h>

namespace {

class NetworkClients : public ProxyFixture {
  protected:
    void SetUp() override {
        ProxyFixture::SetUp();
        if (std::getenv("DRAVIK_PRIVATE_NETWORK") == nullptr) {
            GTEST_SKIP() << "needs network and mount namespaces of its own";
        }
        ASSERT_EQ(std::system("ip addr add 198.51.100.1/32 dev lo && "
                              "ip addr add 198.51.100.7/32 dev lo"),
                  0);
        const std::filesystem::path hosts = m_home / "hosts";
        std::ofstream(hosts) << "127.0.0.1 localhost\n127.0.0.1 origin.test engine.test\n"
                                "198.51.100.1 self.test\n";
        ASSERT_EQ(::mount(hosts.c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr), 0);
    }

    /// curl from the network's client through the proxy; the status it
    /// got, of the CONNECT for `tunnel`.
    int FromNetwork(const std::string& url, bool tunnel = false) {
        const Outcome run =
            Shell("curl -s -o /dev/null -H 'Accept: text/html' --interface "
                  "198.51.100.7 -x http://198.51.100.1:" +
                  std::to_string(m_port) +
                  (tunnel ? " -p -w '%{http_connect}' '" : " -w '%{http_code}' '") + url + "'");
        return std::atoi(run.out.c_str());
    }

    TestServer origin;
};

TEST_F(NetworkClients, GetNothingOfThisMachine) {
    const std::string port = std::to_string(origin.Port());
    origin.Page("/mine", "<p>this user's</p>");
    ASSERT_TRUE(
        StartProxy({"--allow", "198.51.100.7/32", "--direct", "engine.test:" + port}, "0.0.0.0"));
    // Names that resolve to this machine, forwarded, relayed to a --direct
    // host or tunnelled to, and the proxy's own pages.
    EXPECT_EQ(FromNetwork("http://origin.test:" + port + "/forwarded"), 403);
    EXPECT_EQ(FromNetwork("http://engine.test:" + port + "/direct"), 403);
    EXPECT_EQ(FromNetwork("http://self.test:" + port + "/tunnelled", true), 403);
    EXPECT_EQ(FromNetwork("http://198.51.100.1:" + std::to_string(m_port) + "/"), 403);
    // This machine's user still reaches them.
    EXPECT_EQ(Curl("http://origin.test:" + port + "/mine").status, 200);
    EXPECT_EQ(origin.Targets(), std::vector<std::string>{"/mine"});

    // Offline, a network client's miss is not noted for this user to fetch.
    StopProxy();
    ASSERT_TRUE(StartProxy({"--allow", "198.51.100.7/32", "--offline"}, "0.0.0.0"));
    EXPECT_EQ(FromNetwork("http://elsewhere.test/asked-by-another-machine"), 504);
    EXPECT_EQ(Curl("http://elsewhere.test/asked-here", "-H 'Accept: text/html'").status, 504);
    const std::string missed = Curl(ProxyUrl() + "/missed").body;
    EXPECT_NE(missed.find("asked-here"), std::string::npos) << missed;
    EXPECT_EQ(missed.find("asked-by-another-machine"), std::string::npos) << missed;
}

} // namespace
