// SPDX-License-Identifier: Apache-2.0
// The `dravik` command run as a user runs it: the built program in a child
// process with its own settings and cache folders, against a loopback site.
#include "platform/cache/CacheIndex.h"
#include "support/DatabaseFile.h"
#include "support/ProgramFixture.h"
#include "support/TestServer.h"
#include "support/TestServers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

class Commands : public ProgramFixture {
  protected:
    void SetUp() override {
        ProgramFixture::SetUp();
        engine.Page("/orx?ORXCmd=Show&s=1", "<img src=\"" + content.Origin() + "/a.gif\">");
        engine.Reply("/orx?ORXCmd=Show&s=2", {500, "text/html", "broken", {}});
        content.Page("/a.gif", "gif", "image/gif");
    }
    /// The program with a terminal for its standard streams (their output merged).
    Outcome OnTerminal(const std::string& args) {
        std::ofstream(m_home / "run.sh") << "'" << m_binary << "' " << args << "\n";
        return Shell("script -qec 'sh " + (m_home / "run.sh").string() + "' /dev/null");
    }
    std::string Page(const std::string& user = "jdoe", const std::string& s2 = "",
                     const std::string& s1Name = "Main",
                     const std::string& s1Query = "ORXCmd=Show&amp;s=1",
                     const std::string& orxPath = "") {
        return WritePage(
            Param("Info.ORXPath", orxPath.empty() ? engine.Origin() + "/orx" : orxPath) +
            Param("Info.UserName", user) + Param("Info.ORXCommands", "Show") +
            Param("Label.Title", "Dravik") + Param("Msg.NoUsername", "Sign in") +
            Param("Msg.SynchInProgress", "Syncing %1") + Param("Msg.SynchFailed", "%1 failed") +
            Param("Msg.SynchComplete", "All done") + Param("S1.Name", s1Name) +
            Param("S1.Label.Subscription", "Main news") + Param("S1.URL1.URL", s1Query) + s2);
    }
    bool SettingsWritten() const {
        return std::filesystem::exists(m_home / "config" / "dravik" / "dravik.ini");
    }

    TestServer engine;
    TestServer content;
};

TEST_F(Commands, SyncRunsTheWholeSynchronization) {
    const Outcome run = Dravik("sync '" + Page() + "'");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Dravik: All done\n");
    EXPECT_EQ(run.err, "Syncing Main news\n");
    EXPECT_EQ(engine.Targets(), (std::vector<std::string>{"/orx?ORXCmd=Show&s=1"}));
    EXPECT_EQ(content.Targets(), (std::vector<std::string>{"/a.gif"}));
    EXPECT_NE(Read(m_home / "config" / "dravik" / "dravik.ini").find("Main=1"), std::string::npos);
    const Outcome cache = Dravik("cache list --json");
    EXPECT_EQ(cache.status, 0);
    EXPECT_NE(cache.out.find("\"url\": \"" + content.Origin() + "/a.gif\""), std::string::npos);
}

TEST_F(Commands, ExitStatusesTellHowTheRunEnded) {
    const std::string s2 = Param("S2.Name", "Extra") + Param("S2.Label.Subscription", "Extra") +
                           Param("S2.URL1.URL", "ORXCmd=Show&amp;s=2");
    const Outcome failed = Dravik("sync --check Extra '" + Page("jdoe", s2) + "'");
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.out, "Dravik: Extra failed\n");

    const Outcome noUser = Dravik("sync '" + Page("") + "'");
    EXPECT_EQ(noUser.status, 2);
    EXPECT_EQ(noUser.out, "Dravik: Sign in\n");

    ASSERT_EQ(Dravik("offline on").status, 0);
    EXPECT_EQ(Dravik("offline status").out, "offline\n");
    const Outcome offline = Dravik("sync '" + Page() + "'");
    EXPECT_EQ(offline.status, 3);
    EXPECT_NE(offline.err.find("--yes"), std::string::npos);
    const Outcome online = Dravik("sync --yes '" + Page() + "'");
    EXPECT_EQ(online.status, 0) << online.err;
    EXPECT_EQ(Dravik("offline status").out, "online\n");

    // Not 1, which scripts read as a subscription that failed.
    const Outcome internal = Dravik("offline status", "DRAVIK_FAULT=Uncaught");
    EXPECT_EQ(internal.status, 70);
    EXPECT_EQ(internal.err, "dravik: a fault nothing catches\n");
    // The program itself never honours the variable: only the test switch does.
    const Outcome plain = Shell("env DRAVIK_FAULT=Uncaught,InternetOpenW '" + m_binary +
                                "' offline status </dev/null");
    EXPECT_EQ(plain.status, 0) << plain.err;
}

TEST_F(Commands, ClicksThePanelRefusesChangeNothing) {
    const std::string page = Page();
    struct Case {
        std::string options;
        std::string message;
    };
    const Case cases[] = {
        {"--uncheck Main", "disabled"}, // S1 is locked
        {"--check Nobody", "no subscription named \"Nobody\""},
        {"--links Nobody", "no subscription named"},
    };
    for (const Case& c : cases) {
        const Outcome run = Dravik("sync " + c.options + " '" + page + "'");
        EXPECT_EQ(run.status, 2) << c.options;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    EXPECT_FALSE(SettingsWritten());
    EXPECT_TRUE(engine.Targets().empty());

    const Outcome links = Dravik("sync --links Main --outside-links '" + page + "'");
    EXPECT_EQ(links.status, 0) << links.err;
    EXPECT_NE(
        Read(m_home / "config" / "dravik" / "dravik.ini").find("Main=2\nFollowOutsideLinks=1"),
        std::string::npos);
}

TEST_F(Commands, BadPagesAndUsageGiveClearErrors) {
    struct Case {
        std::string args;
        std::string message;
    };
    const Case cases[] = {
        {"sync '" + (m_home / "missing.html").string() + "'", "No such file"},
        {"sync '" + m_home.string() + "'", "directory"},
        {"sync '" + WritePage("", "bare.html") + "'", "no <param> children"},
        {"sync '" + WritePage(Param("Info.UserName", "x"), "nopath.html") + "'", "Info.ORXPath"},
        {"sync", "PAGE"},
        {"sync --bogus x", "bogus"},
        {"fetch ftp://127.0.0.1/", "not an http"},
    };
    for (const Case& c : cases) {
        const Outcome run = Dravik(c.args);
        EXPECT_EQ(run.status, 2) << c.args;
        EXPECT_NE((run.err + run.out).find(c.message), std::string::npos)
            << c.args << ": " << run.err;
    }
}

TEST_F(Commands, RegisterInfoUnregisterAndTheClassLookup) {
    EXPECT_NE(Dravik("info").out.find("is not registered"), std::string::npos);
    const std::string registry = (m_home / "data" / "dravik" / "registry.sqlite").string();
    // Unregistering on a fresh machine leaves no store behind; a folder is
    // named as one; a corrupt store is reported, naming its file.
    ASSERT_EQ(Dravik("unregister").status, 0);
    EXPECT_FALSE(std::filesystem::exists(m_home / "data" / "dravik"));
    const Outcome folder = Dravik("register '" + m_home.string() + "'");
    EXPECT_EQ(folder.status, 2);
    EXPECT_NE(folder.err.find("is a folder"), std::string::npos) << folder.err;
    std::filesystem::create_directories(m_home / "data" / "dravik");
    std::ofstream(registry) << std::string(4096, 'x');
    for (const std::string& command : {std::string("info"), "sync '" + Page() + "'"}) {
        const Outcome corrupt = Dravik(command);
        EXPECT_EQ(corrupt.status, 2) << command;
        EXPECT_NE(corrupt.err.find(registry + ": file is not a database"), std::string::npos)
            << corrupt.err;
    }
    std::filesystem::remove(registry);
    const Outcome registered = Dravik("register");
    ASSERT_EQ(registered.status, 0) << registered.err;
    EXPECT_NE(registered.out.find(registry), std::string::npos);
    const Outcome info = Dravik("info --json");
    for (const char* part :
         {"\"moduleLoads\": true", "\"progId\": \"DRAVIK.DravikCtrl.1\"",
          "\"description\": \"Controls safely scriptable!\"", "\"caption\": \"General\"",
          "\"helpFile\": \"Dravik.hlp\"", "\"verbs\": \"&Edit (0), &Properties... (-7)\"",
          "\"propertyPage\": {\"clsid\": \"{2AD61F7C-EDC3-4077-9011-2E6A02F55086}\""}) {
        EXPECT_NE(info.out.find(part), std::string::npos) << part;
    }

    // A page for another class, and the control registered to a module
    // that is missing or broken: errors that name the key and the store.
    const std::string params = Param("Info.ORXPath", engine.Origin() + "/orx");
    const std::string foreign = "D27CDB6E-AE6D-11CF-96B8-444553540000";
    std::ofstream(m_home / "foreign.html")
        << "<object classid=\"clsid:" << foreign << "\">" << params << "</object>";
    std::ofstream(m_home / "bad.html") << "<object classid=\"clsid:0\">" << params << "</object>";
    const std::filesystem::path copy = m_home / "copy" / "libdravik.so";
    std::filesystem::create_directories(copy.parent_path());
    std::filesystem::copy_file(m_binary.substr(0, m_binary.rfind('/')) + "/libdravik.so", copy);
    ASSERT_EQ(Dravik("register '" + copy.string() + "'").status, 0);
    std::filesystem::remove(copy);
    const Outcome missing = Dravik("sync '" + Page() + "'");
    std::ofstream(copy) << "not a module";
    const Outcome broken = Dravik("sync '" + Page() + "'");
    const Outcome other = Dravik("sync '" + (m_home / "foreign.html").string() + "'");
    const Outcome bad = Dravik("sync '" + (m_home / "bad.html").string() + "'");
    const std::string key = "HKEY_CLASSES_ROOT\\CLSID\\{";
    for (const Outcome& o : {missing, broken, other, bad}) {
        EXPECT_EQ(o.status, 2) << o.err;
    }
    for (const Outcome& o : {missing, broken}) {
        EXPECT_NE(o.err.find(key + "AA31AF6A"), std::string::npos) << o.err;
        EXPECT_NE(o.err.find(registry), std::string::npos) << o.err;
        EXPECT_NE(o.err.find(copy.string()), std::string::npos) << o.err;
    }
    EXPECT_NE(missing.err.find("ERROR_MOD_NOT_FOUND"), std::string::npos) << missing.err;
    EXPECT_NE(broken.err.find("not a loadable module"), std::string::npos) << broken.err;
    EXPECT_NE(
        other.err.find(key + foreign + "}\\InprocServer32 in " + registry + " does not exist"),
        std::string::npos)
        << other.err;
    EXPECT_NE(bad.err.find("\"clsid:0\" is not a class id"), std::string::npos) << bad.err;

    const Outcome refused = Dravik("unregister", "DRAVIK_FAULT=UnregisterClass");
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("0x80040201 SELFREG_E_CLASS"), std::string::npos) << refused.err;
    ASSERT_EQ(Dravik("unregister").status, 0);
    EXPECT_NE(Dravik("info").out.find("is not registered"), std::string::npos);

    const std::filesystem::path bitmap = m_home / "toolbox.bmp";
    ASSERT_EQ(Dravik("info --bitmap '" + bitmap.string() + "'").status, 0);
    const std::string bytes = Read(bitmap);
    ASSERT_EQ(bytes.size(), 238u);
    const auto field = [&bytes](std::size_t at) {
        return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1])
                                                           << 8;
    };
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    EXPECT_EQ(field(2), 238);  // file size
    EXPECT_EQ(field(10), 118); // pixels after the headers and 16 colours
    EXPECT_EQ(field(18), 16);  // width
    EXPECT_EQ(field(22), 15);  // height
    EXPECT_EQ(field(28), 4);   // bits per pixel
}

TEST_F(Commands, SnippetReadsBackAsAHostPageAndTheDemoCompletes) {
    const Outcome snippet = Dravik("snippet");
    ASSERT_EQ(snippet.status, 0);
    const HostPageResult page = ParseHostPage(snippet.out, "snippet");
    ASSERT_TRUE(page.ok) << page.error;
    EXPECT_EQ(page.params.size(), 84u);
    EXPECT_EQ(page.params.at(u"Info.HttpRequestHeaders"), u"X-Offline: 1\r\n");

    const Outcome demo = Dravik("demo");
    EXPECT_EQ(demo.status, 0) << demo.err;
    EXPECT_NE(demo.out.find("Dravik demo: Synchronization complete."), std::string::npos);
    EXPECT_NE(demo.out.find("/guide/pictures/map.gif"), std::string::npos);
    EXPECT_EQ(demo.out.find("ORXCmd=Admin"), std::string::npos); // never requested
    EXPECT_NE(demo.out.find("Home=2"), std::string::npos);
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST_F(Commands, AfterTheMessageEachFailureSaysWhy) {
    const std::string closed = "http://127.0.0.1:" + std::to_string(testsupport::ClosedPort());
    const std::string s2 = Param("S2.Name", "Extra") + Param("S2.Label.Subscription", "Extra") +
                           Param("S2.URL1.URL", "ORXCmd=Show&amp;s=2");
    struct Case {
        std::string page;
        std::string options;
        int status;
        std::string out;
        std::string err;
    };
    const Case cases[] = {
        {Page("jdoe", s2), "--check Extra", 1, "Dravik: Extra failed\n",
         "dravik sync: subscription \"Extra\" (S2.Name) failed: " + engine.Origin() +
             "/orx?ORXCmd=Show&s=2: the server answered with status 500 instead of 200\n"},
        {Page("jdoe", "", "Main", "ORXCmd=Nope"), "", 1, "Dravik: Main news failed\n",
         "refused by the retrieval policy: the command \"Nope\" is not in Info.ORXCommands; add "
         "it there or change S1.URL1.URL\n"},
        {Page("jdoe", "", "Main", "ORXCmd=Show", "ftp://127.0.0.1/orx"), "", 1, "",
         "the start URL is not an http or https URL; check Info.ORXPath\n"},
        {Page("jdoe", "", "Main", "ORXCmd=Show", closed + "/orx"), "", 1, "",
         "the request failed: the connection to the server failed (error 12029)\n"},
        {WritePage(Param("Info.ORXPath", engine.Origin()) + Param("Info.UserName", "x")), "", 0,
         ": \n", "no subscription was synchronized: the page names none"},
        {WritePage(Param("Info.ORXPath", engine.Origin())), "", 2, ": \n",
         "Info.UserName is empty), so nothing was synchronized\ndravik sync: the page gives no "
         "text for Label.Title and Msg.NoUsername, so the message above is incomplete\n"},
    };
    for (const Case& c : cases) {
        const Outcome run = Dravik("sync " + c.options + " '" + c.page + "'");
        EXPECT_EQ(run.status, c.status) << c.err;
        EXPECT_TRUE(Has(run.out, c.out)) << run.out;
        EXPECT_TRUE(Has(run.err, c.err)) << run.err;
    }
}

TEST_F(Commands, WhatCannotBeKeptIsReportedAndACacheThatCannotBeWrittenFailsTheRun) {
    std::ofstream(m_home / "file") << "in the way";
    const std::string blocked = (m_home / "file" / "sub").string();
    const Outcome sync = Dravik("sync '" + Page() + "'", "XDG_CACHE_HOME='" + blocked + "'");
    EXPECT_EQ(sync.status, 5) << sync.err;
    EXPECT_EQ(sync.out, "Dravik: All done\n");
    EXPECT_TRUE(Has(sync.err, "dravik sync: the URL cache could not keep 1 response (" +
                                  content.Origin() + "/a.gif): " + blocked +
                                  "/dravik: Not a directory (error 3)\n"))
        << sync.err;
    // An entry lost when its batch could not be committed, after the
    // response was read, fails the run all the same.
    const Outcome late = Dravik("sync '" + Page() + "'", "DRAVIK_FAULT=CommitEntryBatch");
    EXPECT_EQ(late.status, 5) << late.err;
    EXPECT_TRUE(Has(late.err, "dravik sync: the URL cache could not keep 1 response (" +
                                  content.Origin() + "/a.gif)"))
        << late.err;
    const Outcome fetch =
        Dravik("fetch " + content.Origin() + "/a.gif", "XDG_CACHE_HOME='" + blocked + "'");
    EXPECT_EQ(fetch.status, 5) << fetch.err;
    EXPECT_EQ(fetch.out, "gif");

    // The cache folder removed after a response was kept and before its batch
    // is committed (no cache call between): the run says what was lost.
    testsupport::LocalServer remover;
    remover.Routes().Get("/gone.gif", [this](const httplib::Request&, httplib::Response& res) {
        std::filesystem::remove_all(m_home / "cache");
        res.status = 404;
    });
    remover.Start();
    engine.Page("/orx?ORXCmd=Show&s=3", "<img src=\"" + content.Origin() +
                                            "/a.gif\"><img src=\"http://127.0.0.1:" +
                                            std::to_string(remover.Port()) + "/gone.gif\">");
    Outcome removed;
    // The batch commits by itself 50 ms after its first entry: a run slow
    // enough between the two images kept it before the removal; try again.
    for (int attempt = 0; attempt < 5 && removed.status != 5; ++attempt) {
        std::filesystem::remove_all(m_home / "cache");
        removed = Dravik("sync '" + Page("jdoe", "", "Main", "ORXCmd=Show&amp;s=3") + "'");
    }
    EXPECT_EQ(removed.status, 5) << removed.err;
    EXPECT_TRUE(Has(removed.err, "could not keep 1 response (" + content.Origin() + "/a.gif)"))
        << removed.err;
    EXPECT_TRUE(Has(removed.err, "the cache folder was removed or replaced")) << removed.err;
    std::filesystem::remove_all(m_home / "cache");

    std::filesystem::create_directories(m_home / "cache" / "dravik");
    std::ofstream(m_home / "cache" / "dravik" / "index.sqlite") << std::string(4096, 'x');
    const Outcome list = Dravik("cache list");
    EXPECT_EQ(list.status, 5);
    EXPECT_EQ(list.err, "dravik cache list: cannot read " +
                            (m_home / "cache" / "dravik" / "index.sqlite").string() +
                            ": file is not a database (error 1392)\n");
    // A cache made by a newer version of dravik is named and left alone.
    const std::string index = (m_home / "cache" / "dravik" / "index.sqlite").string();
    std::filesystem::remove(index);
    ASSERT_TRUE(testsupport::MakeDatabase(
        index, "CREATE TABLE entries (url TEXT PRIMARY KEY); PRAGMA user_version = 7"));
    const std::string bytes = testsupport::FileBytes(index);
    const Outcome newer = Dravik("cache list");
    EXPECT_EQ(newer.status, 5);
    EXPECT_EQ(newer.err, "dravik cache list: cannot read " + index +
                             ": made by a newer version of dravik (schema 7; this one reads up "
                             "to " +
                             std::to_string(urlcache::kCacheIndexVersion) + ") (error 1306)\n");
    EXPECT_EQ(testsupport::FileBytes(index), bytes);
    std::filesystem::remove_all(m_home / "cache");

    // Settings that cannot be written, or names that cannot be keys, are
    // warnings: the run goes on and keeps what it can.
    const std::string twin = Param("S2.Name", ";Sport") + Param("S3.Name", "Main") +
                             Param("S3.URL1.URL", "ORXCmd=Show&amp;s=1");
    const Outcome odd = Dravik("sync '" + Page("jdoe", twin) + "'");
    EXPECT_EQ(odd.status, 0) << odd.err;
    EXPECT_TRUE(Has(odd.err, "the choice for \";Sport\" (S2.Name) is not saved")) << odd.err;
    EXPECT_TRUE(Has(odd.err, "S1.Name and S3.Name are both \"Main\"")) << odd.err;
    EXPECT_TRUE(Has(Read(m_home / "config" / "dravik" / "dravik.ini"), "Main=1\nMain=1\nFollow"));
    const Outcome unsaved = Dravik("sync '" + Page() + "'", "XDG_CONFIG_HOME='" + blocked + "'");
    EXPECT_EQ(unsaved.status, 0);
    EXPECT_TRUE(Has(unsaved.err, "warning: the settings file " + blocked +
                                     "/dravik/dravik.ini could not be written: Not a directory "
                                     "(error 3); the choices of this run are not kept\n"))
        << unsaved.err;
}

TEST_F(Commands, HeaderLinesWithABareLineBreakAreRefusedOrReported) {
    const std::string url = content.Origin() + "/a.gif";
    const Outcome broken = Dravik("fetch -H \"$(printf 'X-A: 1\\nX-B: 2')\" " + url);
    EXPECT_EQ(broken.status, 2);
    EXPECT_TRUE(Has(broken.err, "a header may not hold a line break: -H \"X-A: 1\\nX-B: 2\""))
        << broken.err;
    const Outcome bare = Dravik("fetch -H NoColon " + url);
    EXPECT_EQ(bare.status, 2);
    EXPECT_TRUE(Has(bare.err, "-H takes \"Name: value\", not \"NoColon\"")) << bare.err;
    EXPECT_TRUE(content.Targets().empty());

    const std::string headers =
        Param("Info.HttpRequestHeaders", "X-A: 1&#10;X-B: 2&#13;&#10;X-Ok: yes&#13;&#10;");
    const Outcome sync = Dravik("sync '" + Page("jdoe", headers) + "'");
    EXPECT_EQ(sync.status, 0);
    EXPECT_TRUE(Has(sync.err, "warning: Info.HttpRequestHeaders: the line \"X-A: 1\\nX-B: 2\" "
                              "holds a line break that is not CR LF; it is not sent\n"))
        << sync.err;
    const RecordedRequest sent = engine.Requests().at(0);
    EXPECT_EQ(sent.Header("X-Ok"), "yes");
    EXPECT_FALSE(sent.Has("X-A") || sent.Has("X-B"));
}

TEST_F(Commands, ProgressShowsLiveOnATerminalAndAsAskedElsewhere) {
    const std::string page = Page();
    const Outcome live = OnTerminal("sync '" + page + "'");
    EXPECT_EQ(live.status, 0);
    EXPECT_TRUE(Has(live.out, "\rSyncing Main news | ")) << live.out;
    EXPECT_TRUE(Has(live.out, "\x1b[K")) << live.out;
    EXPECT_TRUE(Has(live.out, "Dravik: All done")) << live.out;
    const Outcome quiet = OnTerminal("sync -q '" + page + "'");
    EXPECT_FALSE(Has(quiet.out, "Syncing") || Has(quiet.out, "\x1b[K")) << quiet.out;
    EXPECT_TRUE(Has(quiet.out, "Dravik: All done")) << quiet.out;

    const Outcome verbose = Dravik("sync -v '" + page + "'");
    EXPECT_EQ(verbose.err, "Syncing Main news\n  200  " + engine.Origin() +
                               "/orx?ORXCmd=Show&s=1\n  200  " + content.Origin() + "/a.gif\n");

    const Outcome bare = Dravik("");
    EXPECT_EQ(bare.status, 2);
    EXPECT_TRUE(bare.err.starts_with("usage: dravik COMMAND")) << bare.err;
    EXPECT_EQ(bare.out, "");
}

TEST_F(Commands, TheDemoListsRequestsInTheOrderTheyWereMade) {
    const Outcome demo = Dravik("demo");
    ASSERT_EQ(demo.status, 0) << demo.err;
    std::istringstream lines(demo.out.substr(demo.out.find("Requests the servers received")));
    std::string line;
    std::getline(lines, line);
    std::vector<std::string> listed;
    while (std::getline(lines, line) && !line.empty()) {
        listed.push_back(line.substr(line.rfind(' ') + 1));
    }
    EXPECT_EQ(listed,
              (std::vector<std::string>{
                  "/orx?ORXCmd=Home", "/orx?ORXCmd=Menu", "/style.css", "/orx?ORXCmd=Article&id=2",
                  "/img/article2.gif", "/orx?ORXCmd=InvokeMethod&ORXMethod=Print&id=2",
                  "/img/menu.gif", "/img/logo.gif", "/orx?ORXCmd=Article&id=1", "/img/article1.gif",
                  "/orx?ORXCmd=InvokeMethod&ORXMethod=Print&id=1", "/guide/index.html",
                  "/guide/pictures/map.gif", "/guide/next.html", "/orx?ORXCmd=Article&id=3",
                  "/img/article3.gif"}));
}

} // namespace
