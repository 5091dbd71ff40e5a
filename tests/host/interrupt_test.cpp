// SPDX-License-Identifier: Apache-2.0
// A command that writes the URL cache, stopped by a signal: the built
// program in a child process, against a loopback site that signals it while
// one response is in flight.
#include "support/ProgramFixture.h"
#include "support/TestServer.h"
#include "support/TestServers.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

extern char** environ;

namespace {

using namespace std::chrono_literals;

constexpr int kImages = 40;

class Interrupted : public ProgramFixture {
  protected:
    void SetUp() override {
        ProgramFixture::SetUp();
        content.Routes().Get(R"(/img/(\d+)\.gif)",
                             [](const httplib::Request&, httplib::Response& res) {
                                 res.set_content("GIF89a", "image/gif");
                             });
        // The last image stops the program that asks for it, then keeps it
        // waiting: every earlier image was served whole.
        content.Routes().Get("/last.gif", [this](const httplib::Request&, httplib::Response& res) {
            if (child.load() > 0) {
                ::kill(child.load(), signal.load());
            }
            for (int waited = 0; waited < 100 && !stopping; ++waited) {
                std::this_thread::sleep_for(50ms);
            }
            res.set_content("late", "image/gif");
        });
        content.Start();
        std::string images;
        for (int image = 0; image < kImages; ++image) {
            images += "<img src=\"" + Origin() + "/img/" + std::to_string(image) + ".gif\">";
        }
        engine.Page("/orx?ORXCmd=Show&s=1", images + "<img src=\"" + Origin() + "/last.gif\">");
    }
    void TearDown() override {
        stopping = true;
        ::close(input[1]);
        ProgramFixture::TearDown();
    }
    std::string Origin() const { return "http://127.0.0.1:" + std::to_string(content.Port()); }
    std::string Page() {
        return WritePage(Param("Info.ORXPath", engine.Origin() + "/orx") +
                         Param("Info.UserName", "jdoe") + Param("Info.ORXCommands", "Show") +
                         Param("S1.Name", "Main") + Param("S1.URL1.URL", "ORXCmd=Show&amp;s=1"));
    }
    /// Starts `line` in the scratch environment with an open, silent
    /// standard input; the shell gives way to the program (exec).
    pid_t Start(const std::string& line) {
        EXPECT_EQ(::pipe(input), 0);
        const std::string command = "exec " + Env() + line + " <&3 3<&- >'" +
                                    (m_home / "out").string() + "' 2>'" +
                                    (m_home / "err").string() + "'";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input[0], 3);
        posix_spawn_file_actions_addclose(&actions, input[1]);
        const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
        pid_t pid = -1;
        EXPECT_EQ(
            ::posix_spawn(&pid, "/bin/sh", &actions, nullptr, const_cast<char**>(argv), environ),
            0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(input[0]);
        return pid;
    }
    /// The exit status, or -signal when a signal ended it.
    static int Wait(pid_t pid) {
        int raw = 0;
        ::waitpid(pid, &raw, 0);
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
    }

    testsupport::LocalServer content;
    TestServer engine;
    std::atomic<pid_t> child{0};
    std::atomic<int> signal{SIGINT};
    std::atomic<bool> stopping{false};
    int input[2] = {-1, -1};
};

TEST_F(Interrupted, SyncKeepsEveryEntryServedAndLeavesWithTheSignalsStatus) {
    for (const auto& [sig, status, name] :
         {std::tuple{SIGINT, 130, "SIGINT"}, std::tuple{SIGTERM, 143, "SIGTERM"}}) {
        std::filesystem::remove_all(m_home / "cache");
        signal = sig;
        child = Start("'" + m_binary + "' sync '" + Page() + "'");
        EXPECT_EQ(Wait(child), status) << name;
        const std::string err = Read(m_home / "err");
        EXPECT_NE(err.find(std::string("dravik sync: interrupted by ") + name +
                           "; what was fetched so far is kept in the URL cache"),
                  std::string::npos)
            << err;
        const Outcome listed = Dravik("cache list");
        for (int image = 0; image < kImages; ++image) {
            const std::string url = Origin() + "/img/" + std::to_string(image) + ".gif";
            EXPECT_NE(listed.out.find(url + "\n"), std::string::npos) << name << " lost " << url;
        }
        EXPECT_EQ(listed.out.find("/last.gif"), std::string::npos) << "it was in flight";
    }
}

TEST_F(Interrupted, DemoRemovesItsScratchFolder) {
    // The panel waits for keys, so the demo is surely running when stopped;
    // its scratch folder is named after its process.
    const std::filesystem::path scratch = m_home / "tmp";
    std::filesystem::create_directories(scratch);
    const pid_t shell = Start("TMPDIR='" + scratch.string() + "' TERM=xterm script -qfec \"'" +
                              m_binary + "' demo --panel\" /dev/null");
    pid_t demo = 0;
    for (int waited = 0; waited < 200 && demo == 0; ++waited) {
        std::this_thread::sleep_for(50ms);
        std::error_code ignored;
        for (const auto& item : std::filesystem::directory_iterator(scratch, ignored)) {
            demo = std::stoi(
                item.path().filename().string().substr(std::string("dravik-demo-").size()));
        }
    }
    ASSERT_NE(demo, 0) << Read(m_home / "err");
    std::this_thread::sleep_for(200ms); // the panel is up
    ::kill(demo, SIGHUP);
    Wait(shell);
    EXPECT_TRUE(std::filesystem::is_empty(scratch)) << Read(m_home / "out");
    EXPECT_NE(Read(m_home / "out").find("dravik demo: interrupted by SIGHUP"), std::string::npos)
        << Read(m_home / "out");
}

} // namespace
