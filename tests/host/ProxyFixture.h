// The `dravik` program run as a user runs it for offline browsing: its own
// cache, settings and data folders, `dravik proxy` as a child process, and
// curl (or a browser) pointed at it.
#pragma once

#include "host/HostPage.h"
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

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

class ProxyFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* binary = std::getenv("DRAVIK_BINARY");
        ASSERT_NE(binary, nullptr) << "DRAVIK_BINARY names the built program";
        m_binary = binary;
        m_home = std::filesystem::temp_directory_path() /
                 ("dravik-proxy-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_home);
        std::filesystem::create_directories(m_home);
    }
    void TearDown() override {
        StopProxy();
        std::filesystem::remove_all(m_home);
    }

    static std::string Read(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::vector<std::string> Environment() const {
        return {"XDG_CACHE_HOME=" + (m_home / "cache").string(),
                "XDG_CONFIG_HOME=" + (m_home / "config").string(),
                "XDG_DATA_HOME=" + (m_home / "data").string(), "HOME=" + m_home.string()};
    }
    /// Runs a shell command line with the fixture's folders, bounded in time.
    Outcome Shell(const std::string& line, int seconds = 60) {
        std::string command = "env";
        for (const std::string& variable : Environment()) {
            command += " '" + variable + "'";
        }
        command += " timeout " + std::to_string(seconds) + " " + line + " >'" +
                   (m_home / "out").string() + "' 2>'" + (m_home / "err").string() + "' </dev/null";
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Read(m_home / "out"), Read(m_home / "err")};
    }
    Outcome Dravik(const std::string& args) { return Shell("'" + m_binary + "' " + args); }

    /// Starts `dravik proxy` on a free port with `args`; false when it did
    /// not say where it listens within ten seconds.
    bool StartProxy(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {"env"};
        for (const std::string& variable : Environment()) {
            argv.push_back(variable);
        }
        argv.insert(argv.end(), {m_binary, "proxy", "--listen", "127.0.0.1:0"});
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
            posix_spawnp(&m_proxy, "env", &actions, nullptr, pointers.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) {
            m_proxy = 0;
            return false;
        }
        const std::string mark = "listening on http://127.0.0.1:";
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
        const std::filesystem::path page = m_home / "page.html";
        const auto param = [](const std::string& name, const std::string& value) {
            return "<param name=\"" + name + "\" value=\"" + value + "\">";
        };
        std::ofstream(page) << "<object classid=\"" << ControlClassId() << "\">"
                            << param("Info.ORXPath", engine.Origin() + "/orx")
                            << param("Info.UserName", "jdoe") << param("Info.ORXCommands", "Show")
                            << param("Msg.SynchComplete", "done") << param("S1.Name", "Main")
                            << param("S1.Label.Subscription", "Main") << param("S1.URL1.URL", start)
                            << "</object>";
        return page.string();
    }

    std::string m_binary;
    std::filesystem::path m_home;
    pid_t m_proxy = 0;
    int m_port = 0;
};
