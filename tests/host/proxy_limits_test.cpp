// SPDX-License-Identifier: Apache-2.0
// The proxy's bounds on what clients can make it hold: connections and
// tunnels per client address, forwards that each hold only their own
// worker, and a process out of descriptors that waits rather than spins or
// aborts. And pruning the list of missed addresses.
#include "ProxyFixture.h"
#include "RawClient.h"
#include "host/proxy/ClientCounts.h"
#include "support/TestServers.h"

namespace {

/// Open connections, closed when it goes.
struct Held {
    std::vector<int> fds;
    ~Held() {
        for (const int fd : fds) {
            ::close(fd);
        }
    }
};

/// CPU seconds a process has used.
double CpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        ticks += i >= 14 ? std::stod(field) : 0; // utime and stime
    }
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

/// The first line of the answer to `request` on a new connection, asked
/// again for a few seconds until it is `expected`: the proxy frees what a
/// closed connection held a moment after it goes.
std::string AskUntilServed(int port, const std::string& request,
                           const std::string& expected = "HTTP/1.1 200 OK") {
    std::string line;
    for (int tries = 0; tries < 100 && line != expected; ++tries) {
        const int again = Connect(port);
        line = Ask(again, request);
        ::close(again);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return line;
}

proxy::IpBytes Address(std::uint8_t last) {
    proxy::IpBytes address{};
    address[10] = address[11] = 0xFF;
    address[12] = 10;
    address[15] = last;
    return address;
}

TEST(ClientCountsTest, ConnectionsAndTunnelsAreBoundedPerClientUntilTheLastHolderGoes) {
    const auto counts = std::make_shared<proxy::ClientCounts>(proxy::ClientLimits{2, 1});
    proxy::ConnectionTicket first = counts->Admit(Address(1));
    proxy::ConnectionTicket second = counts->Admit(Address(1));
    ASSERT_TRUE(first && second);
    EXPECT_EQ(counts->Admit(Address(1)), nullptr) << "a third connection of the same client";
    EXPECT_NE(counts->Admit(Address(2)), nullptr) << "another client has its own count";
    EXPECT_TRUE(first->BecomeTunnel());
    EXPECT_TRUE(first->BecomeTunnel()) << "the same tunnel counted once";
    EXPECT_FALSE(second->BecomeTunnel()) << "one tunnel at a time for this client";

    proxy::ConnectionTicket tunnelHolder = first; // as a tunnel takes the socket over
    first.reset();
    EXPECT_EQ(counts->Connections(Address(1)), 2u) << "the tunnel still holds it";
    tunnelHolder.reset();
    EXPECT_EQ(counts->Connections(Address(1)), 1u);
    EXPECT_TRUE(second->BecomeTunnel()) << "the tunnel's place is free again";
    EXPECT_NE(counts->Admit(Address(1)), nullptr);

    // An IPv6 host may take a fresh address of its /64 for each connection.
    const auto v6 = [](std::uint8_t prefix, std::uint8_t last) {
        proxy::IpBytes address{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, prefix};
        address[15] = last;
        return address;
    };
    const proxy::ConnectionTicket a = counts->Admit(v6(1, 1));
    const proxy::ConnectionTicket b = counts->Admit(v6(1, 2));
    ASSERT_TRUE(a && b);
    EXPECT_EQ(counts->Admit(v6(1, 3)), nullptr) << "a third address of the same /64";
    EXPECT_NE(counts->Admit(v6(2, 1)), nullptr) << "another /64 has its own count";
}

class ProxyLimits : public ProxyFixture {};

// UBSan checks a virtual call by probing memory through a pipe: in a process
// out of descriptors it reports every such call as one on a bad object.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DRAVIK_TEST_SANITIZED
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(DRAVIK_TEST_SANITIZED)
#define SKIP_WITHOUT_SPARE_DESCRIPTORS() GTEST_SKIP() << "the sanitizers need descriptors"
#else
#define SKIP_WITHOUT_SPARE_DESCRIPTORS() static_cast<void>(0)
#endif

TEST_F(ProxyLimits, AClientBeyondItsConnectionsIsToldSoAndServedOnceOneEnds) {
    ASSERT_TRUE(StartProxy({"--offline"}));
    const std::string index =
        "GET / HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(m_port) + "\r\n\r\n";
    Held held;
    for (std::size_t i = 0; i < proxy::kMaxConnectionsPerClient; ++i) {
        held.fds.push_back(Connect(m_port));
        ASSERT_GE(held.fds.back(), 0);
    }
    // Answered, so each of them is counted by now.
    ASSERT_EQ(Ask(held.fds.back(), index), "HTTP/1.1 200 OK");
    const int extra = Connect(m_port);
    EXPECT_EQ(Ask(extra, index), "HTTP/1.1 503 Service Unavailable");
    ::close(extra);

    ::close(held.fds.front());
    held.fds.erase(held.fds.begin());
    EXPECT_EQ(AskUntilServed(m_port, index), "HTTP/1.1 200 OK")
        << "the place of a closed connection is free again";
    EXPECT_EQ(StopProxy(), 0);
}

// Requests the origin is slow to answer, and large answers the browser
// never reads, each hold their own forward and no thread: another request
// to the same origin is answered at once beside more of them than the
// proxy has threads, or ever had workers.
TEST_F(ProxyLimits, SlowOriginsAndStalledBrowsersHoldOnlyTheirOwnForwards) {
    constexpr int kSlow = 150;
    testsupport::LocalServer site;
    site.Routes().Get("/slow", [](const httplib::Request&, httplib::Response& res) {
        std::this_thread::sleep_for(std::chrono::seconds(4));
        res.set_content("slow", "text/plain");
    });
    const std::string large(8 * 1024 * 1024, 'x');
    site.Routes().Get("/large", [&large](const httplib::Request&, httplib::Response& res) {
        res.set_content(large, "application/octet-stream");
    });
    site.Routes().Get("/fast", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("fast", "text/plain");
    });
    // More threads than the test keeps busy: the origin itself never makes
    // a request wait.
    site.Start(kSlow + 40);
    const std::string origin = "http://127.0.0.1:" + std::to_string(site.Port());
    ASSERT_TRUE(StartProxy({}));
    Held waiting;
    const auto ask = [&](const std::string& path) {
        const int fd = Connect(m_port, 4096);
        ASSERT_GE(fd, 0);
        waiting.fds.push_back(fd);
        const std::string request =
            "GET " + origin + path + " HTTP/1.1\r\nHost: " + origin.substr(7) + "\r\n\r\n";
        ASSERT_EQ(::send(fd, request.data(), request.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(request.size()));
    };
    for (int i = 0; i < kSlow; ++i) {
        // Paced: the test origin's listen queue holds only five.
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
        ask("/slow");
        if (i % 10 == 0) {
            ask("/large"); // never read
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(800)); // all forwarded by now
    const auto start = std::chrono::steady_clock::now();
    const Response fast = Curl(origin + "/fast", "-m 10");
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(fast.body, "fast");
    EXPECT_LT(took, std::chrono::milliseconds(1500)) << "waited for another request's forward";
    const int threads = ProxyThreads();
    EXPECT_GT(threads, 0);
    EXPECT_LT(threads, 16) << "a thread per forward";
}

// Kept pages read whole for the panel are held under one budget for the
// whole proxy: browsers that ask for a large page and never read it hold
// at most that much, and the next one is told to come back.
TEST_F(ProxyLimits, WholePagesHeldForBrowsersThatDoNotReadStayWithinOneBudget) {
    testsupport::LocalServer site;
    const std::string page = "<html><body>" + std::string(7 << 20, 'x') + "</body></html>";
    site.Routes().Get("/big.html", [&page](const httplib::Request&, httplib::Response& res) {
        res.set_content(page, "text/html");
    });
    site.Start();
    const std::string url = "http://127.0.0.1:" + std::to_string(site.Port()) + "/big.html";
    ASSERT_TRUE(StartProxy({}));
    ASSERT_EQ(Curl(url).body.size(), page.size());
    StopProxy();
    ASSERT_EQ(Dravik("offline on").status, 0);
    ASSERT_TRUE(StartProxy({}));
    const std::string request =
        "GET " + url + " HTTP/1.1\r\nHost: " + url.substr(7, url.find('/', 7) - 7) + "\r\n\r\n";
    {
        Held readers;
        std::string refused;
        // The budget holds 18 of them; a few more connections than that ask.
        for (int i = 0; i < 24 && refused.empty(); ++i) {
            const int fd = Connect(m_port, 4096);
            ASSERT_GE(fd, 0);
            readers.fds.push_back(fd);
            ASSERT_EQ(::send(fd, request.data(), request.size(), MSG_NOSIGNAL),
                      static_cast<ssize_t>(request.size()));
            char head[16] = {};
            if (::recv(fd, head, sizeof head - 1, 0) > 0 &&
                std::string(head).find(" 503") != std::string::npos) {
                refused = head;
            }
        }
        EXPECT_FALSE(refused.empty()) << "every reader got the page held for it";
        EXPECT_GE(readers.fds.size(), 17U) << "the budget holds more than that";
    } // the readers go, and with them what was held for them
    EXPECT_EQ(AskUntilServed(m_port, request), "HTTP/1.1 200 OK")
        << "what the readers held is given back";
}

TEST_F(ProxyLimits, OutOfDescriptorsTheProxyWaitsWithoutSpinningAndServesAgainLater) {
    SKIP_WITHOUT_SPARE_DESCRIPTORS();
    TestServer site;
    m_launcher = {"prlimit", "--nofile=64:64", "--"};
    ASSERT_TRUE(StartProxy({"--offline"}));
    const std::string miss = "GET " + site.Origin() + "/page HTTP/1.1\r\nAccept: text/html\r\n\r\n";
    {
        Held held;
        for (int i = 0; i < 120; ++i) {
            held.fds.push_back(Connect(m_port)); // the listen queue takes what is not accepted
        }
        // A miss while descriptors are short: written later or not at all,
        // but never an abort.
        held.fds.push_back(Connect(m_port));
        ::send(held.fds.back(), miss.data(), miss.size(), MSG_NOSIGNAL);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const double before = CpuSeconds(m_proxy);
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const double used = CpuSeconds(m_proxy) - before;
        EXPECT_LT(used, 0.3) << "CPU seconds in two seconds with every descriptor taken";
        int raw = 0;
        ASSERT_EQ(::waitpid(m_proxy, &raw, WNOHANG), 0) << Read(m_home / "proxy.log");
    }
    EXPECT_EQ(AskUntilServed(m_port, miss, "HTTP/1.1 504 Gateway Timeout"),
              "HTTP/1.1 504 Gateway Timeout")
        << "served again once connections ended";
    EXPECT_EQ(StopProxy(), 0) << Read(m_home / "proxy.log");
}

TEST_F(ProxyLimits, TooFewDescriptorsToStartFailWithAMessageNotAnAbort) {
    SKIP_WITHOUT_SPARE_DESCRIPTORS();
    // The proxy inherits this process's open descriptors: each limit is
    // counted above those.
    const auto inherited = std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                         std::filesystem::directory_iterator());
    for (const auto extra : {1, 2, 3, 4, 5, 6, 20}) {
        const auto limit = inherited + extra;
        const Outcome run =
            Shell("prlimit --nofile=" + std::to_string(limit) + ":" + std::to_string(limit) +
                      " -- '" + m_binary + "' proxy --offline --listen 127.0.0.1:0 </dev/null",
                  2);
        if (run.status == 124) {
            continue; // enough to serve: `timeout` ended it
        }
        EXPECT_TRUE(run.status >= 1 && run.status <= 5) << limit << ": " << run.status;
        EXPECT_TRUE(run.err.starts_with("dravik")) << limit << ": " << run.err;
    }
}

TEST_F(ProxyLimits, CacheMissedRemoveForgetsOnlyTheAddressesGiven) {
    TestServer site;
    const std::string a = site.Origin() + "/a.html";
    const std::string b = site.Origin() + "/b.html";
    ASSERT_TRUE(StartProxy({"--offline"}));
    for (const std::string& url : {a, b, b}) {
        EXPECT_EQ(Curl(url, "-H 'Accept: text/html'").status, 504);
    }
    EXPECT_EQ(StopProxy(), 0);

    const Outcome unknown = Dravik("cache missed --remove " + site.Origin() + "/c.html");
    EXPECT_EQ(unknown.status, 1);
    EXPECT_TRUE(unknown.err.find("the list holds no " + site.Origin() + "/c.html") !=
                std::string::npos)
        << unknown.err;
    const Outcome removed = Dravik("cache missed --remove " + a);
    EXPECT_EQ(removed.status, 0) << removed.err;
    EXPECT_EQ(removed.out, "removed 1 address\n");
    const std::string left = Dravik("cache missed").out;
    EXPECT_EQ(left.find(a), std::string::npos) << left;
    EXPECT_NE(left.find("  2  " + b), std::string::npos) << left;
    EXPECT_EQ(Dravik("cache missed --remove " + b + " --clear").status, 2);
    EXPECT_NE(Dravik("cache missed --help").out.find("--remove"), std::string::npos);
}

} // namespace
