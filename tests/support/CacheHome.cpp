// SPDX-License-Identifier: Apache-2.0
#include "support/CacheHome.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace testsupport {

CacheHome::CacheHome() {
    std::string pattern = (std::filesystem::temp_directory_path() / "dravik-cache-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary cache folder");
    }
    m_home = pattern;
    if (const char* previous = std::getenv("XDG_CACHE_HOME")) {
        m_previous = previous;
        m_hadPrevious = true;
    }
    ::setenv("XDG_CACHE_HOME", m_home.c_str(), 1);
}

CacheHome::~CacheHome() {
    if (m_hadPrevious) {
        ::setenv("XDG_CACHE_HOME", m_previous.c_str(), 1);
    } else {
        ::unsetenv("XDG_CACHE_HOME");
    }
    std::error_code ignored;
    std::filesystem::remove_all(m_home, ignored);
}

namespace {

// Every test program run gets its own cache folder and no proxy settings
// from the developer's shell: the servers are on 127.0.0.1.
class PlatformTestEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY",
                                 "ALL_PROXY", "all_proxy", "no_proxy", "NO_PROXY"}) {
            ::unsetenv(name);
        }
        m_home = std::make_unique<CacheHome>();
    }
    void TearDown() override { m_home.reset(); }

  private:
    std::unique_ptr<CacheHome> m_home;
};

[[maybe_unused]] auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new PlatformTestEnvironment);

} // namespace

} // namespace testsupport
