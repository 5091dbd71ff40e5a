// SPDX-License-Identifier: Apache-2.0
// The cache's native face: look-ups, opened copies and the listing, read
// from entries a real download stored and from rows written to the index.
#include "platform/cache/CacheStore.h"
#include "platform/cache/UrlCacheStore.h"
#include "support/CacheHome.h"
#include "support/InetTestSupport.h"
#include "support/TestServers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace testsupport;

namespace {

class CacheStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_server.Routes().Get("/small", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("small body", "text/plain");
        });
        // Large enough for a file of its own, and too large to be held in memory.
        m_server.Routes().Get("/big", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(300000, 'b'), "image/gif");
        });
        m_server.Start();
        m_session = OpenSession();
        for (const char* path : {"/small", "/big"}) {
            ASSERT_EQ(Fetch(m_session.Get(), m_server.Port(), W(path), 0).status, 200u);
        }
        // An entry carrying both marks, as the library stores them.
        ASSERT_TRUE(urlcache::WithUrlCache([&](urlcache::CacheIndex& index, const std::string&) {
            urlcache::EntryRecord record;
            record.url = W(Url("/marked"));
            record.size = 2;
            record.lastSync = 1;
            record.headers = u"HTTP/1.1 200 OK\r\nX-Dravik-Certificate: Unverified\r\n"
                             u"x-dravik-cache:  this-machine \r\n\r\n";
            record.inIndex = true;
            ASSERT_TRUE(index.Put(record, "ok"));
        }));
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_server.Port()) + path;
    }

    CacheHome m_home;
    LocalServer m_server;
    Handle m_session;
};

TEST_F(CacheStoreTest, LookupsAndCopiesGiveTheEntryItsBodyAndItsMarks) {
    struct Case {
        const char* name;
        std::string url;
        const char* stored; // the path the entry is stored under
        bool found;
        bool inIndex;
        std::string body;
        bool unverified;
        bool thisMachineOnly;
    };
    const std::string origin = "HTTP://127.0.0.1:" + std::to_string(m_server.Port());
    const Case cases[] = {
        {"body in the index", Url("/small"), "/small", true, true, "small body", false, false},
        {"body in a file", Url("/big"), "/big", true, false, std::string(300000, 'b'), false,
         false},
        {"another spelling", origin + "/small#part", "/small", true, true, "small body", false,
         false},
        {"marks", Url("/marked"), "/marked", true, true, "ok", true, true},
        {"miss", Url("/none"), "/none", false, false, "", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto entry = urlcache::Lookup(c.url);
        const auto copy = urlcache::OpenCopy(c.url);
        ASSERT_EQ(entry.HasValue(), c.found);
        ASSERT_EQ(copy.HasValue(), c.found);
        if (!c.found) {
            EXPECT_TRUE(entry.Missing());
            EXPECT_TRUE(copy.Missing());
            EXPECT_NE(entry.Error().reason.find(c.url), std::string::npos);
            continue;
        }
        EXPECT_EQ(entry->url, Url(c.stored));
        EXPECT_EQ(entry->size, c.body.size());
        EXPECT_EQ(entry->inIndex, c.inIndex);
        EXPECT_EQ(entry->file.empty(), c.inIndex);
        EXPECT_EQ(c.inIndex ? entry->body : "", c.inIndex ? c.body : "");
        EXPECT_TRUE(c.inIndex || std::filesystem::file_size(entry->file) == c.body.size());
        EXPECT_TRUE(entry->head.starts_with("HTTP/1.1 200"));
        EXPECT_NE(entry->lastSync, 0u);
        EXPECT_EQ(entry->unverified, c.unverified);
        EXPECT_EQ(entry->thisMachineOnly, c.thisMachineOnly);

        const urlcache::StoredCopy& stored = **copy;
        EXPECT_EQ(stored.InMemory(), c.body.size() <= 64 * 1024);
        EXPECT_EQ(stored.Descriptor() >= 0, !stored.InMemory());
        std::string read(c.body.size() + 10, '\0');
        const auto got = stored.Read(0, read.data(), read.size());
        ASSERT_TRUE(got.HasValue());
        EXPECT_EQ(read.substr(0, *got), c.body);
        EXPECT_EQ(*stored.Read(c.body.size(), read.data(), read.size()), 0u);
    }
    // Every copy opened counted a hit; the listing shows them, in URL order.
    const auto listed = urlcache::ListEntries();
    ASSERT_TRUE(listed.HasValue());
    std::vector<std::pair<std::string, std::uint32_t>> seen;
    for (const urlcache::StoredEntry& e : *listed) {
        seen.emplace_back(e.url, e.hits);
        EXPECT_TRUE(e.body.empty()) << "a listing carries no bodies";
    }
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, std::uint32_t>>{
                        {Url("/big"), 1}, {Url("/marked"), 1}, {Url("/small"), 2}}));
}

TEST_F(CacheStoreTest, AnUnreadableCacheIsReportedNamingTheFile) {
    const CacheHome broken;
    std::filesystem::create_directories(broken.CacheDir());
    const std::string index = broken.CacheDir() + "/index.sqlite";
    std::ofstream(index) << std::string(4096, 'x');
    const auto entry = urlcache::Lookup(Url("/small"));
    const auto copy = urlcache::OpenCopy(Url("/none"));
    const auto listed = urlcache::ListEntries();
    for (const urlcache::CacheError& error : {entry.Error(), copy.Error(), listed.Error()}) {
        EXPECT_EQ(error.kind, urlcache::CacheError::Kind::Unreadable);
        EXPECT_EQ(error.path, index);
        EXPECT_EQ(error.reason, "file is not a database");
    }
}

} // namespace
