// SPDX-License-Identifier: Apache-2.0
// The built `dravik` program run as a user runs it: a child process (found
// through DRAVIK_BINARY) with its own scratch home, cache, settings and data
// folders, and host pages written into that home.
#pragma once

#include "host/common/HostPage.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

class ProgramFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* binary = std::getenv("DRAVIK_BINARY");
        ASSERT_NE(binary, nullptr) << "DRAVIK_BINARY names the built program";
        m_binary = binary;
        m_home = std::filesystem::temp_directory_path() /
                 ("dravik-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_home);
        std::filesystem::create_directories(m_home);
    }
    void TearDown() override { std::filesystem::remove_all(m_home); }

    static std::string Read(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    /// "env NAME='value' ... " for the program's scratch folders.
    std::string Env() const {
        const auto var = [this](const char* name, const char* folder) {
            return std::string(name) + "='" + (m_home / folder).string() + "' ";
        };
        return "env LANG=C.UTF-8 HOME='" + m_home.string() + "' " + var("XDG_CACHE_HOME", "cache") +
               var("XDG_CONFIG_HOME", "config") + var("XDG_DATA_HOME", "data");
    }
    /// Runs a shell command line in the scratch environment, bounded in
    /// time, with its output kept.
    Outcome Shell(const std::string& line, int seconds = 60) {
        const std::string command = Env() + "timeout " + std::to_string(seconds) + " " + line +
                                    " >'" + (m_home / "out").string() + "' 2>'" +
                                    (m_home / "err").string() + "'";
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Read(m_home / "out"), Read(m_home / "err")};
    }
    /// Runs the program; `env` adds or overrides variables ("NAME='value' ...").
    /// A DRAVIK_FAULT there preloads the test switch that honours it: the
    /// program alone never does.
    Outcome Dravik(const std::string& args, const std::string& env = "") {
        std::string preload;
        if (env.find("DRAVIK_FAULT=") != std::string::npos) {
            const std::filesystem::path library =
                std::filesystem::read_symlink("/proc/self/exe").parent_path() /
                "libdravik-test-faults.so";
            EXPECT_TRUE(std::filesystem::exists(library)) << library;
            preload = "LD_PRELOAD='" + library.string() + "' ";
        }
        return Shell("env " + preload + env + " '" + m_binary + "' " + args + " </dev/null");
    }
    /// A host page whose object carries `params` (markup), in the home.
    std::string WritePage(const std::string& params, const std::string& name = "") {
        const std::filesystem::path page =
            m_home / (name.empty() ? "page" + std::to_string(++m_pages) + ".html" : name);
        std::ofstream(page) << "<html><body><object classid=\"" << ControlClassId() << "\">"
                            << params << "</object></body></html>";
        return page.string();
    }
    static std::string Param(const std::string& name, const std::string& value) {
        return "<param name=\"" + name + "\" value=\"" + value + "\">";
    }

    std::string m_binary;
    std::filesystem::path m_home;
    int m_pages = 0;
};
