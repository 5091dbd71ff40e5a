// SPDX-License-Identifier: Apache-2.0
// A small real site for crawl tests: an application engine (the start host)
// and a second content host on loopback, a fresh URL cache in a temporary
// folder, the module's internet session, and one subscription slot.
#pragma once

#include "crawler/AllowedLists.h"
#include "crawler/Subscription.h"
#include "net/InternetSession.h"
#include "platform/kernel/FileTime.h"
#include "support/TestServer.h"
#include "support/Text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

class CrawlSite : public ::testing::Test {
  protected:
    void SetUp() override {
        m_home = std::filesystem::temp_directory_path() /
                 ("dravik-crawl-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(m_home);
        ::setenv("XDG_CACHE_HOME", m_home.c_str(), 1);
        ASSERT_TRUE(OpenInternetSession());
        ParseList(u"Show,List,InvokeMethod", g_allowedCommands);
        ParseList(u"Open", g_allowedMethods);
    }
    void TearDown() override {
        CloseInternetSession();
        std::filesystem::remove_all(m_home);
    }

    /// A page of the engine, reached by an allowed command.
    std::string Engine(const std::string& query) const { return engine.Origin() + "/orx?" + query; }
    std::string Other(const std::string& path) const { return other.Origin() + path; }

    /// Runs one crawl the way the driver does, with a fresh start time.
    BOOL Crawl(const std::string& startUrl, int depth, BOOL outsideLinks = FALSE,
               const std::u16string& headers = u"") {
        GetSystemTimeAsFileTime(&slot.m_syncStart);
        slot.m_bOutsideLinks = outsideLinks;
        slot.m_requestHeaders.Assign(headers.c_str());
        return slot.CreateSubscription(CVELString(Wide(startUrl).c_str()), depth);
    }

    TestServer engine;
    TestServer other;
    CSubscription slot;
    std::filesystem::path m_home;
};
