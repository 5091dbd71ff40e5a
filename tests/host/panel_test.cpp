// SPDX-License-Identifier: Apache-2.0
// `dravik panel` as a person uses it: the built program in an 80 x 24 tmux
// terminal, keys sent to it and its screen read back, against a loopback site.
#include "support/ProgramFixture.h"
#include "support/TestServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class PanelOnTerminal : public ProgramFixture {
  protected:
    void SetUp() override {
        ProgramFixture::SetUp();
        m_socket = m_home.filename().string();
    }
    void TearDown() override {
        Tmux("kill-server");
        ProgramFixture::TearDown();
    }

    std::string Tmux(const std::string& args) {
        std::string out;
        FILE* pipe = ::popen(("tmux -L '" + m_socket + "' " + args + " 2>/dev/null").c_str(), "r");
        char chunk[4096];
        for (std::size_t n;
             pipe != nullptr && (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
            out.append(chunk, n);
        }
        if (pipe != nullptr) {
            ::pclose(pipe);
        }
        return out;
    }
    /// Runs the panel on `page` in a fresh 80 x 24 terminal. The shell
    /// around it notes the terminal's modes before and after, and the
    /// program's exit status.
    void Start(const std::string& page) {
        std::ofstream(m_home / "run.sh") << "trap : INT\necho before-panel\nmodes=$(stty -g)\n"
                                         << Env() << "'" << m_binary << "' panel '" << page << "'\n"
                                         << "echo \"exit=$?\"\n[ \"$modes\" = \"$(stty -g)\" ] && "
                                            "echo tty-restored\nsleep 600\n";
        Tmux("-f /dev/null new-session -d -x 80 -y 24 \"sh '" + (m_home / "run.sh").string() +
             "'\"");
    }
    std::string Screen() { return Tmux("capture-pane -p"); }
    /// The screen once it holds (or, with `present` false, lost) `text`;
    /// the test fails when that does not happen within ten seconds.
    std::string WaitFor(const std::string& text, bool present = true) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::string screen;
        while (std::chrono::steady_clock::now() < deadline) {
            screen = Screen();
            if (Has(screen, text) == present) {
                return screen;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ADD_FAILURE() << "waiting for " << (present ? "" : "the end of ") << "\"" << text
                      << "\" on:\n"
                      << screen;
        return screen;
    }
    void Keys(const std::string& keys) { Tmux("send-keys " + keys); }
    /// Line `row` (0-based) of the screen.
    static std::string Line(const std::string& screen, int row) {
        std::istringstream lines(screen);
        std::string line;
        for (int i = 0; i <= row && std::getline(lines, line); ++i) {
        }
        return line;
    }

    std::string PanelPage(const std::string& user, const std::string& extra = "") {
        return WritePage(
            Param("Info.ORXPath", engine.Origin() + "/orx") + Param("Info.UserName", user) +
            Param("Info.ORXCommands", "Show") + Param("Label.SynchronizeButton", "Synchronize") +
            Param("Label.OutsideLinks", "Follow links to other sites") +
            Param("Label.Title", "Offline content") + Param("Msg.NoUsername", "Sign in first.") +
            Param("Msg.SynchInProgress", "Syncing %1") + Param("Msg.SynchComplete", "All done.") +
            Slot(1, "Main", "Main news") + Slot(2, "Sport", "Sport results") + extra);
    }
    std::string Slot(int n, const std::string& name, const std::string& label) {
        const std::string s = "S" + std::to_string(n);
        engine.Page("/orx?ORXCmd=Show&s=" + std::to_string(n), "<p>" + name);
        return Param(s + ".Name", name) + Param(s + ".Label.Subscription", label) +
               Param(s + ".Label.IncludeLinks", "with the pages it links to") +
               Param(s + ".URL1.URL", "ORXCmd=Show&amp;s=" + std::to_string(n));
    }
    void WriteSettings(const std::string& text) {
        std::filesystem::create_directories(m_home / "config" / "dravik");
        std::ofstream(m_home / "config" / "dravik" / "dravik.ini") << text;
    }

    TestServer engine;
    std::string m_socket;
};

TEST_F(PanelOnTerminal, TheTemplateLaysOutTheConfigurationAndTheStoredChoices) {
    WriteSettings("[VER_1.0_jdoe]\nMain=1\nSport=2\nFollowOutsideLinks=1\n");
    Start(PanelPage("jdoe"));
    const std::string screen = WaitFor("< Synchronize >");
    const char* source = std::getenv("DRAVIK_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(screen, Read(std::filesystem::path(source) / "tests/host/panel_80x24.txt"));

    // A terminal too small for the panel is told so; a larger one centres it.
    Tmux("resize-window -x 60 -y 20");
    WaitFor("The panel needs 78 x 24; this terminal is 60 x 20. q quits");
    Tmux("resize-window -x 100 -y 30");
    const std::string large = WaitFor("Offline content");
    EXPECT_EQ(Line(large, 3).substr(0, 14), std::string(11, ' ') + "┌");
    EXPECT_TRUE(Has(Line(large, 5), std::string(11, ' ') + "│  [x] Main news")) << large;
}

TEST_F(PanelOnTerminal, KeysAndClicksGoThroughThePanelAndEnterRunsTheSynchronization) {
    const std::string page = PanelPage("jdoe");
    // Slow enough for the progress window to be seen.
    engine.Reply("/orx?ORXCmd=Show&s=1",
                 {200, "text/html", "<p>slow", {}, std::chrono::milliseconds(1500)});
    ASSERT_EQ(std::system((Env() + "'" + m_binary + "' offline on >/dev/null").c_str()), 0);
    Start(page);
    WaitFor("< Synchronize >");
    // From Synchronize: S1's include-links box, then Sport; Space checks it
    // and so enables its include-links box, which Tab now reaches.
    Keys("Tab Tab Space");
    EXPECT_TRUE(Has(Line(WaitFor("[x] Sport results"), 8), "[ ] with the pages it links to"));
    Keys("Tab Space");
    EXPECT_TRUE(Has(Line(WaitFor("[x] with the pages it links to"), 8), "[x] with the pages"));
    // A click (xterm mouse report) on the outside-links box at column 5, row 15.
    Keys("-H 1b 5b 4d 20 26 30");
    WaitFor("[x] Follow links to other sites");

    Keys("Enter");
    WaitFor("Go online to reach");
    Keys("y");
    const std::string progress = WaitFor("1 request | ");
    EXPECT_TRUE(Has(progress, "Syncing Main news")) << progress;
    const std::string done = WaitFor("All done.");
    EXPECT_TRUE(Has(done, "< OK >")) << done;
    EXPECT_EQ(engine.Targets(),
              (std::vector<std::string>{"/orx?ORXCmd=Show&s=1", "/orx?ORXCmd=Show&s=2"}));
    Keys("Enter");
    const std::string after = WaitFor("All done.", false);
    EXPECT_TRUE(Has(Line(after, 8), "[x] with the pages it links to")) << after;
    EXPECT_EQ(Read(m_home / "config" / "dravik" / "dravik.ini"),
              "[VER_1.0_jdoe]\nMain=1\nSport=2\nFollowOutsideLinks=1\n");

    Keys("q");
    const std::string shell = WaitFor("tty-restored");
    EXPECT_TRUE(Has(shell, "before-panel\nexit=0\ntty-restored")) << shell;
    EXPECT_FALSE(Has(shell, "Synchronize")) << shell;
}

TEST_F(PanelOnTerminal, AnEmptyUserNameThePropertyPageCtrlCAndNoTerminal) {
    Start(PanelPage(""));
    WaitFor("< Synchronize >");
    Keys("F4");
    EXPECT_TRUE(Has(WaitFor("General"), "Enter or Esc closes"));
    Keys("Escape");
    WaitFor("General", false);

    Keys("Enter");
    const std::string box = WaitFor("Sign in first.");
    EXPECT_TRUE(Has(box, "!  Sign in first.")) << box;
    EXPECT_TRUE(Has(box, "Info.UserName is empty")) << box;
    // Shrunk below the panel, the question stays on screen and answerable.
    Tmux("resize-window -x 60 -y 20");
    EXPECT_TRUE(Has(WaitFor("The panel needs 78 x 24"), "Sign in first."));
    Keys("Enter");
    WaitFor("Sign in first.", false);
    Tmux("resize-window -x 80 -y 24");
    EXPECT_TRUE(engine.Targets().empty());
    EXPECT_FALSE(std::filesystem::exists(m_home / "config" / "dravik" / "dravik.ini"));

    Keys("C-c");
    EXPECT_TRUE(Has(WaitFor("tty-restored"), "exit=130"));

    const std::string command = Env() + "'" + m_binary + "' panel '" + PanelPage("jdoe") +
                                "' </dev/null 2>'" + (m_home / "err").string() + "'";
    const int status = std::system(command.c_str());
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_TRUE(Has(Read(m_home / "err"), "`dravik sync PAGE`")) << Read(m_home / "err");
}

} // namespace
