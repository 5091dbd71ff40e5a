// The `dravik` command run as a user runs it: the built program in a child
// process with its own settings and cache folders, against a loopback site.
#include "host/HostPage.h"
#include "support/TestServer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

class Commands : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* binary = std::getenv("DRAVIK_BINARY");
        ASSERT_NE(binary, nullptr) << "DRAVIK_BINARY names the built program";
        m_binary = binary;
        m_home = std::filesystem::temp_directory_path() /
                 ("dravik-cmd-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(m_home);
        engine.Page("/orx?ORXCmd=Show&s=1", "<img src=\"" + content.Origin() + "/a.gif\">");
        engine.Reply("/orx?ORXCmd=Show&s=2", {500, "text/html", "broken", {}});
        content.Page("/a.gif", "gif", "image/gif");
    }
    void TearDown() override { std::filesystem::remove_all(m_home); }

    static std::string Read(const std::filesystem::path& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    Outcome Dravik(const std::string& args, const std::string& env = "") {
        const std::string command =
            "env " + env + " XDG_CACHE_HOME='" + (m_home / "cache").string() +
            "' XDG_CONFIG_HOME='" + (m_home / "config").string() + "' XDG_DATA_HOME='" +
            (m_home / "data").string() + "' '" + m_binary + "' " + args + " >'" +
            (m_home / "out").string() + "' 2>'" + (m_home / "err").string() + "' </dev/null";
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Read(m_home / "out"), Read(m_home / "err")};
    }
    /// A host page whose object carries `params` (name="value" pairs as markup).
    std::string WritePage(const std::string& params, const std::string& name = "page.html") {
        const std::filesystem::path page = m_home / name;
        std::ofstream(page) << "<html><body><object classid=\"" << ControlClassId() << "\">"
                            << params << "</object></body></html>";
        return page.string();
    }
    std::string Param(const std::string& name, const std::string& value) {
        return "<param name=\"" + name + "\" value=\"" + value + "\">";
    }
    std::string Page(const std::string& user = "jdoe", const std::string& s2 = "") {
        return WritePage(
            Param("Info.ORXPath", engine.Origin() + "/orx") + Param("Info.UserName", user) +
            Param("Info.ORXCommands", "Show") + Param("Label.Title", "Dravik") +
            Param("Msg.NoUsername", "Sign in") + Param("Msg.SynchInProgress", "Syncing %1") +
            Param("Msg.SynchFailed", "%1 failed") + Param("Msg.SynchComplete", "All done") +
            Param("S1.Name", "Main") + Param("S1.Label.Subscription", "Main news") +
            Param("S1.URL1.URL", "ORXCmd=Show&amp;s=1") + s2);
    }
    bool SettingsWritten() const {
        return std::filesystem::exists(m_home / "config" / "dravik" / "dravik.ini");
    }

    TestServer engine;
    TestServer content;
    std::string m_binary;
    std::filesystem::path m_home;
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
    const Outcome registered = Dravik("register");
    ASSERT_EQ(registered.status, 0) << registered.err;
    const std::string registry = (m_home / "data" / "dravik" / "registry.sqlite").string();
    EXPECT_NE(registered.out.find(registry), std::string::npos);
    const Outcome info = Dravik("info --json");
    for (const char* part : {"\"moduleLoads\": true", "\"progId\": \"DRAVIK.DravikCtrl.1\"",
                             "\"description\": \"Controls safely scriptable!\"",
                             "\"caption\": \"General\"", "\"helpFile\": \"Dravik.hlp\""}) {
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

} // namespace
