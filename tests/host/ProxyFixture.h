// SPDX-License-Identifier: Apache-2.0
// The `dravik` program run as a user runs it for offline browsing: its own
// cache, settings and data folders, `dravik proxy` as a child process, and
// curl (or a browser) pointed at it.
#pragma once

#include "support/ProgramFixture.h"
#include "support/TestServer.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

class ProxyFixture : public ProgramFixture {
  protected:
    void TearDown() override {
        StopProxy();
        ProgramFixture::TearDown();
    }

    /// Starts `dravik proxy` on a free port of `address` with `args`; false
    /// when it did not say where it listens within ten seconds.
    bool StartProxy(const std::vector<std::string>& args,
                    const std::string& address = "127.0.0.1") {
        std::vector<std::string> argv = m_launcher;
        argv.insert(argv.end(),
                    {"env", "XDG_CACHE_HOME=" + (m_home / "cache").string(),
                     "XDG_CONFIG_HOME=" + (m_home / "config").string(),
                     "XDG_DATA_HOME=" + (m_home / "data").string(), "HOME=" + m_home.string()});
        argv.insert(argv.end(), {m_binary, "proxy", "--listen", address + ":0"});
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> pointers;
        for (std::string& arg : argv) {
            pointers.push_back(arg.data());
        }
        pointers.push_back(nullptr);
        const std::string log = (m_home / "proxy.log").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const int spawned =
            posix_spawnp(&m_proxy, argv[0].c_str(), &actions, nullptr, pointers.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) {
            m_proxy = 0;
            return false;
        }
        const std::string mark = "listening on http://" + address + ":";
        for (int wait = 0; wait < 1000; ++wait) {
            const std::string text = Read(log);
            if (const auto at = text.find(mark); at != std::string::npos) {
                m_port = std::stoi(text.substr(at + mark.size()));
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    /// Stops the proxy by its process id; its exit status.
    int StopProxy() {
        if (m_proxy <= 0) {
            return -1;
        }
        ::kill(m_proxy, SIGTERM);
        int raw = 0;
        ::waitpid(m_proxy, &raw, 0);
        m_proxy = 0;
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    std::string ProxyUrl() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    /// The running proxy's threads, as its /proc status counts them.
    int ProxyThreads() const {
        const std::string status = Read("/proc/" + std::to_string(m_proxy) + "/status");
        const auto at = status.find("Threads:");
        return at == std::string::npos ? -1 : std::stoi(status.substr(at + 8));
    }

    struct Response {
        int status = 0;
        std::string headers;
        std::string body;
    };
    /// One request through the proxy with curl; `options` go before the URL.
    Response Curl(const std::string& url, const std::string& options = "") {
        const std::string body = (m_home / "body").string();
        const Outcome run = Shell("curl -s -x " + ProxyUrl() + " -D - -o '" + body + "' " +
                                  options + " '" + url + "'");
        Response response;
        response.headers = run.out;
        response.body = Read(body);
        std::filesystem::remove(body);
        const auto status = run.out.rfind("HTTP/1.1 ");
        response.status = status == std::string::npos ? 0 : std::stoi(run.out.substr(status + 9));
        return response;
    }
    /// A host page for one subscription whose start page is `start` on
    /// `engine` (an allowed command "Show").
    std::string HostPage(const TestServer& engine, const std::string& start) {
        return WritePage(Param("Info.ORXPath", engine.Origin() + "/orx") +
                         Param("Info.UserName", "jdoe") + Param("Info.ORXCommands", "Show") +
                         Param("Msg.SynchComplete", "done") + Param("S1.Name", "Main") +
                         Param("S1.Label.Subscription", "Main") + Param("S1.URL1.URL", start));
    }

    pid_t m_proxy = 0;
    int m_port = 0;
    std::vector<std::string> m_launcher; // runs the proxy, as prlimit does (it execs)
};
