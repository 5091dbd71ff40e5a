// SPDX-License-Identifier: Apache-2.0
// Memory of a whole `dravik sync` whatever the size of what it fetches: the
// built program in a child process whose peak resident memory the kernel
// reports, against a loopback site with very large bodies.
#include "host/common/HostPage.h"
#include "support/TestServers.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;

// Under AddressSanitizer freed blocks wait in a quarantine and every block
// has shadow memory: resident memory says nothing about the program then.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMeasuresMemory = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kMeasuresMemory = false;
#else
constexpr bool kMeasuresMemory = true;
#endif
#else
constexpr bool kMeasuresMemory = true;
#endif

/// Serves `size` bytes of `fill` in pieces, announcing the length or not.
void Serve(httplib::Response& res, std::size_t size, bool announced, const char* type) {
    const auto piece = std::make_shared<std::string>(kMiB, 'x');
    const auto sendFrom = [piece, size](std::size_t offset, httplib::DataSink& sink) {
        return sink.write(piece->data(), std::min(piece->size(), size - offset));
    };
    if (announced) {
        res.set_content_provider(
            size, type, [sendFrom](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                return sendFrom(offset, sink);
            });
        return;
    }
    res.set_chunked_content_provider(type,
                                     [sendFrom, size](std::size_t offset, httplib::DataSink& sink) {
                                         if (offset >= size) {
                                             sink.done();
                                             return true;
                                         }
                                         return sendFrom(offset, sink);
                                     });
}

struct SyncRun {
    int status = -1;
    long peakKb = 0;
    std::string err;
};

class MemoryBound : public ::testing::Test {
  protected:
    void SetUp() override {
        m_home = std::filesystem::temp_directory_path() /
                 ("dravik-mem-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(m_home);
        content.Routes().Get("/big.bin", [](const httplib::Request&, httplib::Response& res) {
            Serve(res, 256 * kMiB, true, "application/octet-stream");
        });
        content.Routes().Get("/huge.html", [](const httplib::Request&, httplib::Response& res) {
            Serve(res, 96 * kMiB, true, "text/html");
        });
        content.Routes().Get("/stream.html", [](const httplib::Request&, httplib::Response& res) {
            Serve(res, 96 * kMiB, false, "text/html");
        });
        content.Start();
        const std::string other = "http://127.0.0.1:" + std::to_string(content.Port());
        engine.Routes().Get("/orx", [other](const httplib::Request& req, httplib::Response& res) {
            const std::string frame = req.get_param_value("s") == "1" ? "huge" : "stream";
            res.set_content("<img src=\"" + other + "/big.bin\"><frame src=\"" + other + "/" +
                                frame + ".html\">",
                            "text/html");
        });
        engine.Start();
    }
    void TearDown() override { std::filesystem::remove_all(m_home); }

    std::string PageFor(const std::string& s) {
        const std::filesystem::path page = m_home / ("page" + s + ".html");
        std::ofstream(page) << "<object classid=\"" << ControlClassId() << "\">"
                            << "<param name=\"Info.ORXPath\" value=\"http://127.0.0.1:"
                            << engine.Port() << "/orx\"><param name=\"Info.UserName\" value=\"u\">"
                            << "<param name=\"Info.ORXCommands\" value=\"Show\">"
                            << "<param name=\"S1.Name\" value=\"Big\">"
                            << "<param name=\"S1.URL1.URL\" value=\"ORXCmd=Show&amp;s=" << s
                            << "\"></object>";
        return page.string();
    }

    /// Runs `dravik sync` with its own folders; the kernel's figure of its
    /// peak resident memory comes back with its status.
    SyncRun Sync(const std::string& page) {
        std::vector<std::string> env{"XDG_CACHE_HOME=" + (m_home / "cache").string(),
                                     "XDG_CONFIG_HOME=" + (m_home / "config").string(),
                                     "HOME=" + m_home.string()};
        std::vector<char*> envp;
        envp.reserve(env.size() + 1);
        for (std::string& e : env) {
            envp.push_back(e.data());
        }
        envp.push_back(nullptr);
        const char* program = std::getenv("DRAVIK_BINARY");
        std::string binary = program != nullptr ? program : "dravik";
        std::vector<std::string> args{binary,    "sync", "-q", "--outside-links",
                                      "--check", "Big",  page};
        std::vector<char*> argv;
        argv.reserve(args.size() + 1);
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string errPath = (m_home / "err").string();
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        pid_t child = 0;
        SyncRun run;
        if (::posix_spawn(&child, binary.c_str(), &actions, nullptr, argv.data(), envp.data()) ==
            0) {
            int status = 0;
            rusage usage{};
            ::wait4(child, &status, 0, &usage);
            run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            run.peakKb = usage.ru_maxrss;
        }
        posix_spawn_file_actions_destroy(&actions);
        std::stringstream err;
        err << std::ifstream(errPath).rdbuf();
        run.err = err.str();
        return run;
    }

    testsupport::LocalServer engine;
    testsupport::LocalServer content;
    std::filesystem::path m_home;
};

TEST_F(MemoryBound, LargeBodiesAreStreamedAndLargePagesNotWalked) {
    // A 256 MiB image and a 96 MiB page that announces its length: neither
    // is ever held, so the whole run stays within a small fixed bound.
    const SyncRun announced = Sync(PageFor("1"));
    EXPECT_EQ(announced.status, 0) << announced.err;
    if (kMeasuresMemory) {
        EXPECT_LT(announced.peakKb, 80 * 1024) << "peak RSS in KiB";
    }
    EXPECT_NE(announced.err.find("1 page was fetched but not walked: larger than 64 MiB (http://"),
              std::string::npos)
        << announced.err;
    const auto cached =
        std::filesystem::directory_iterator(m_home / "cache" / "dravik" / "content");
    std::vector<std::uintmax_t> sizes;
    for (const auto& file : cached) {
        sizes.push_back(file.file_size());
    }
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, (std::vector<std::uintmax_t>{96 * kMiB, 256 * kMiB}));

    // A page without a length is held only up to the cap, then let go.
    const SyncRun streamed = Sync(PageFor("2"));
    EXPECT_EQ(streamed.status, 0) << streamed.err;
    if (kMeasuresMemory) {
        EXPECT_LT(streamed.peakKb, 80 * 1024 + 64 * 1024) << "peak RSS in KiB";
    }
    EXPECT_NE(streamed.err.find("larger than 64 MiB"), std::string::npos) << streamed.err;
}

} // namespace
