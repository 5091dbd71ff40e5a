// SPDX-License-Identifier: Apache-2.0
// What the program loads before it needs it: commands that never reach the
// network, the URL cache or a host page load none of the libraries behind
// them, as the loader itself reports (LD_DEBUG=libs).
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <unistd.h>

namespace {

std::string LoaderReport(const std::string& args) {
    const std::string home = ::testing::TempDir() + "dravik-startup-" + std::to_string(::getpid());
    const std::string command = "XDG_CACHE_HOME='" + home + "' XDG_CONFIG_HOME='" + home +
                                "' XDG_DATA_HOME='" + home + "' LD_DEBUG=libs '" +
                                std::getenv("DRAVIK_BINARY") + "' " + args +
                                " 2>&1 >/dev/null; rm -rf '" + home + "'";
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    std::array<char, 4096> buffer{};
    while (pipe != nullptr && std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) {
        out += buffer.data();
    }
    if (pipe != nullptr) {
        ::pclose(pipe);
    }
    return out;
}

// The sanitizer build links cpp-httplib (and so OpenSSL) as usual: UBSan
// needs the type info of its classes.
#if defined(__SANITIZE_ADDRESS__)
#define DRAVIK_LINKS_HTTPLIB 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DRAVIK_LINKS_HTTPLIB 1
#endif
#endif

TEST(Startup, CommandsLoadOnlyTheLibrariesTheyUse) {
#ifdef DRAVIK_LINKS_HTTPLIB
    const auto libraries = {"libcurl", "libsqlite3", "libxml2"};
#else
    const auto libraries = {"libcurl",    "libssl",  "libcrypto",
                            "libsqlite3", "libxml2", "libcpp-httplib"};
#endif
    for (const char* args : {"--version", "snippet"}) {
        const std::string report = LoaderReport(args);
        ASSERT_NE(report.find("libdravik-platform"), std::string::npos) << report;
        for (const char* library : libraries) {
            EXPECT_EQ(report.find(library), std::string::npos) << args << " loads " << library;
        }
    }
    // A command that reads the cache loads SQLite, and only when it runs.
    const std::string list = LoaderReport("cache list");
    EXPECT_NE(list.find("libsqlite3"), std::string::npos);
    EXPECT_EQ(list.find("libcurl"), std::string::npos);
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(DRAVIK_LINKS_HTTPLIB)
TEST(Startup, TheHostPageParserIsUnloadedBeforeTheCrawlBegins) {
    const std::string page = ::testing::TempDir() + "dravik-startup-page.html";
    std::ofstream(page) << "<object classid=\"clsid:AA31AF6A-7213-44D3-A5A5-F146D45B568F\">"
                        << "<param name=\"Info.ORXPath\" value=\"http://127.0.0.1:1/orx\">"
                        << "<param name=\"S1.Name\" value=\"A\">"
                        << "<param name=\"S1.URL1.URL\" value=\"ORXCmd=Show\"></object>";
    const std::string report = LoaderReport("sync -q --check A '" + page + "'");
    const std::size_t unloaded = report.find("calling fini: /lib/x86_64-linux-gnu/libxml2");
    // The control's module is loaded from the page's class id, so after it.
    const std::size_t module = report.find("libdravik.so\n");
    ASSERT_NE(module, std::string::npos) << report;
    EXPECT_LT(unloaded, module) << "libxml2 stays loaded while the crawl runs";
    std::remove(page.c_str());
}
#endif

} // namespace
