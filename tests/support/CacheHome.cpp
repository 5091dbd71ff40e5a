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
    home_ = pattern;
    if (const char* previous = std::getenv("XDG_CACHE_HOME")) {
        previous_ = previous;
        hadPrevious_ = true;
    }
    ::setenv("XDG_CACHE_HOME", home_.c_str(), 1);
}

CacheHome::~CacheHome() {
    if (hadPrevious_) {
        ::setenv("XDG_CACHE_HOME", previous_.c_str(), 1);
    } else {
        ::unsetenv("XDG_CACHE_HOME");
    }
    std::error_code ignored;
    std::filesystem::remove_all(home_, ignored);
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
        home_ = std::make_unique<CacheHome>();
    }
    void TearDown() override { home_.reset(); }

  private:
    std::unique_ptr<CacheHome> home_;
};

[[maybe_unused]] auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new PlatformTestEnvironment);

} // namespace

} // namespace testsupport
