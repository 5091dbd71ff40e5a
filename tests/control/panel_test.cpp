// SPDX-License-Identifier: Apache-2.0
#include "control/DravikCtrl.h"
#include "control/resources/ResourceIds.h"
#include "framework/ui/MessageBox.h"
#include "net/InternetSession.h"
#include "platform/inet/WinInet.h"
#include "support/FailingAlloc.h"
#include "support/TestServer.h"
#include "support/Text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

/// A control on a host page, its engine on loopback, a private cache and
/// settings folder, and a record of every message box and progress text.
class Panel : public ::testing::Test {
  protected:
    void SetUp() override {
        m_home = std::filesystem::temp_directory_path() /
                 ("dravik-panel-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(m_home);
        ::setenv("XDG_CACHE_HOME", (m_home / "cache").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (m_home / "config").c_str(), 1);
        ASSERT_TRUE(OpenInternetSession());
        m_page = {
            {u"Info.ORXPath", Wide(engine.Origin() + "/orx")},
            {u"Info.UserName", u"jdoe"},
            {u"Info.ORXCommands", u"Show"},
            {u"Label.Title", u"Dravik"},
            {u"Label.SynchronizeButton", u"Synchronize"},
            {u"Msg.NoUsername", u"No user"},
            {u"Msg.SynchInProgress", u"Synchronizing %1..."},
            {u"Msg.SynchFailed", u"%1 failed"},
            {u"Msg.SynchComplete", u"Done"},
        };
    }
    void TearDown() override {
        m_ctrl.reset();
        CloseInternetSession();
        SetGoOnlinePrompt({});
        std::filesystem::remove_all(m_home);
    }

    void Slot(const std::string& prefix, const char16_t* name, const std::string& query) {
        m_page[Wide(prefix + ".Name")] = name;
        m_page[Wide(prefix + ".Label.Subscription")] = name;
        m_page[Wide(prefix + ".URL1.URL")] = Wide(query);
        engine.Page("/orx?" + query, "<p>page</p>");
    }
    CDravikPanel& Open() {
        m_ctrl = std::make_unique<CDravikCtrl>();
        CPropExchange px(CPropExchange::Mode::Load, m_page);
        m_ctrl->DoPropExchange(&px);
        EXPECT_EQ(m_ctrl->DoVerb(OLEIVERB_INPLACEACTIVATE, &m_site, nullptr), S_OK);
        return m_ctrl->Panel();
    }
    /// Presses Synchronize and returns the message boxes and progress texts.
    void Press(CDravikPanel& panel) {
        ScopedMessageBoxSink sink([this](const MessageBoxRequest& box) {
            boxes.push_back(box);
            events.push_back("box");
            return IDOK;
        });
        ScopedWindowObserver observer([this](const CWnd& window, WindowChange change) {
            if (window.GetDlgCtrlID() == IDC_PROGRESS_TEXT && change == WindowChange::Text) {
                progress.push_back(Str(window.GetWindowText()));
            }
            if (change == WindowChange::Created || change == WindowChange::Destroyed) {
                windows.push_back(change);
            }
            const auto* dialog = dynamic_cast<const CDialog*>(&window);
            if (dialog != nullptr && dialog->GetTemplateId() == IDD_SYNCH_PROGRESS) {
                if (change == WindowChange::Text) {
                    const std::u16string caption = Str(window.GetWindowText());
                    events.push_back("caption " + std::string(caption.begin(), caption.end()));
                } else if (change == WindowChange::Visibility) {
                    events.push_back(window.IsWindowVisible() ? "shown" : "hidden");
                }
            }
        });
        ASSERT_TRUE(panel.Click(IDC_SYNCHRONIZE));
    }
    bool SettingsWritten() const {
        return std::filesystem::exists(m_home / "config" / "dravik" / "dravik.ini");
    }

    TestServer engine;
    PropertyBag m_page;
    CWnd m_site; ///< the host's window the control is placed in
    std::unique_ptr<CDravikCtrl> m_ctrl;
    std::filesystem::path m_home;
    std::vector<MessageBoxRequest> boxes;
    std::vector<std::u16string> progress;
    std::vector<WindowChange> windows;
    std::vector<std::string> events; ///< the progress window's and the boxes', in order
};

TEST_F(Panel, InitialStateFollowsTheConfiguration) {
    Slot("S1", u"Main", "ORXCmd=Show&s=1");
    CDravikPanel& panel = Open();
    EXPECT_TRUE(panel.IsWindowVisible());
    EXPECT_EQ(Str(panel.m_btnSynchronize.GetWindowText()), u"Synchronize");
    EXPECT_EQ(panel.GetFocusId(), IDC_SYNCHRONIZE);
    EXPECT_EQ(panel.m_chkSubscription[0].GetCheck(), BST_CHECKED);
    EXPECT_FALSE(panel.m_chkSubscription[0].IsWindowEnabled());
    EXPECT_TRUE(panel.m_chkIncludeLinks[0].IsWindowEnabled());
    EXPECT_EQ(panel.m_chkIncludeLinks[0].GetCheck(), BST_UNCHECKED);
    for (int i = 1; i < kCheckBoxSlots; ++i) {
        EXPECT_FALSE(panel.m_chkSubscription[i].IsWindowVisible()) << i;
        EXPECT_FALSE(panel.m_chkIncludeLinks[i].IsWindowVisible()) << i;
    }
    EXPECT_EQ(panel.QueryCtlColor(IDC_S1_SUBSCRIPTION)->brush, RGB(255, 255, 255));
    EXPECT_EQ(panel.QueryCtlColor()->background, RGB(255, 255, 255));
}

TEST_F(Panel, ClicksKeepTheIncludeLinksBoxConsistent) {
    Slot("S1", u"Main", "ORXCmd=Show&s=1");
    Slot("S2", u"News", "ORXCmd=Show&s=2");
    Slot("S4", u"Hidden", "ORXCmd=Show&s=4");
    CDravikPanel& panel = Open();
    EXPECT_FALSE(panel.Click(IDC_S1_SUBSCRIPTION));  // locked
    EXPECT_FALSE(panel.Click(IDC_S4_SUBSCRIPTION));  // the second column stays hidden
    EXPECT_FALSE(panel.Click(IDC_S2_INCLUDE_LINKS)); // disabled while S2 is not selected
    ASSERT_TRUE(panel.Click(IDC_S2_SUBSCRIPTION));
    ASSERT_TRUE(panel.Click(IDC_S2_INCLUDE_LINKS));
    EXPECT_EQ(panel.m_chkIncludeLinks[1].GetCheck(), BST_CHECKED);
    ASSERT_TRUE(panel.Click(IDC_S2_SUBSCRIPTION));
    EXPECT_EQ(panel.m_chkIncludeLinks[1].GetCheck(), BST_UNCHECKED);
    EXPECT_FALSE(panel.m_chkIncludeLinks[1].IsWindowEnabled());
    ASSERT_TRUE(panel.Click(IDC_S2_SUBSCRIPTION));
    EXPECT_TRUE(panel.m_chkIncludeLinks[1].IsWindowEnabled());
    EXPECT_EQ(panel.m_chkIncludeLinks[1].GetCheck(), BST_UNCHECKED);
}

TEST_F(Panel, ARunShowsEachLabelAndStopsAtTheFirstFailure) {
    Slot("S1", u"Main", "ORXCmd=Show&s=1");
    Slot("S2", u"News", "ORXCmd=Show&s=2");
    Slot("S3", u"Later", "ORXCmd=Show&s=3");
    engine.Reply("/orx?ORXCmd=Show&s=2", {404, "text/html", "gone", {}});
    CDravikPanel& panel = Open();
    panel.Click(IDC_S2_SUBSCRIPTION);
    panel.Click(IDC_S3_SUBSCRIPTION);
    Press(panel);
    EXPECT_EQ(progress,
              (std::vector<std::u16string>{u"Synchronizing Main...", u"Synchronizing News..."}));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"News failed");
    EXPECT_EQ(boxes[0].caption, u"Dravik");
    EXPECT_EQ(boxes[0].type, MB_ICONEXCLAMATION);
    EXPECT_EQ(engine.Targets(),
              (std::vector<std::string>{"/orx?ORXCmd=Show&s=1", "/orx?ORXCmd=Show&s=2"}));
    EXPECT_EQ(panel.LastOutcome(), RunOutcome::kFailed);
    EXPECT_EQ(panel.FailedSlot(), 1);
    EXPECT_EQ(windows, (std::vector<WindowChange>{WindowChange::Created, WindowChange::Destroyed}));
    // Created visible, captioned with the title, hidden before the message.
    EXPECT_EQ(events, (std::vector<std::string>{"shown", "caption Dravik", "hidden", "box"}));
    EXPECT_TRUE(SettingsWritten()); // written before anything was crawled
}

TEST_F(Panel, NothingSelectedStillCompletes) {
    Slot("S1", u"Main", "ORXCmd=Show&s=1");
    std::filesystem::create_directories(m_home / "config" / "dravik");
    std::ofstream(m_home / "config" / "dravik" / "dravik.ini") << "[VER_1.0_jdoe]\nMain=0\n";
    m_page[u"Msg.SynchInProgress"] = u"";
    CDravikPanel& panel = Open();
    Press(panel);
    EXPECT_TRUE(engine.Targets().empty());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"Done");
    EXPECT_EQ(boxes[0].caption, u"Dravik");
    EXPECT_EQ(boxes[0].type, MB_OK);
    EXPECT_TRUE(progress.empty()); // an empty in-progress message leaves the text empty
    EXPECT_EQ(panel.LastOutcome(), RunOutcome::kComplete);
}

TEST_F(Panel, RefusedRunsWriteNothing) {
    Slot("S1", u"Main", "ORXCmd=Show&s=1");
    m_page[u"Info.UserName"] = u"";
    CDravikPanel& panel = Open();
    Press(panel);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"No user");
    EXPECT_EQ(boxes[0].type, MB_ICONEXCLAMATION);
    EXPECT_EQ(panel.LastOutcome(), RunOutcome::kNoUserName);

    // Offline, and the user declines to go online.
    m_page[u"Info.UserName"] = u"jdoe";
    CDravikPanel& online = Open();
    INTERNET_CONNECTED_INFO offline{INTERNET_STATE_DISCONNECTED_BY_USER, ISO_FORCE_DISCONNECTED};
    ASSERT_TRUE(
        InternetSetOptionW(nullptr, INTERNET_OPTION_CONNECTED_STATE, &offline, sizeof offline));
    int asked = 0;
    SetGoOnlinePrompt([&asked](const char16_t*) {
        ++asked;
        return false;
    });
    boxes.clear();
    Press(online);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(online.LastOutcome(), RunOutcome::kOffline);
    EXPECT_FALSE(SettingsWritten());
    EXPECT_TRUE(engine.Targets().empty());

    // Accepting the prompt brings the library online and the run goes ahead.
    SetGoOnlinePrompt([](const char16_t*) { return true; });
    Press(online);
    EXPECT_EQ(online.LastOutcome(), RunOutcome::kComplete);
    EXPECT_EQ(engine.Targets().size(), 1u);
}

TEST_F(Panel, RunningOutOfMemoryFailsTheSubscriptionNotTheHost) {
    Slot("S1", u"Main", "ORXCmd=Show&s=1");
    engine.Page("/orx?ORXCmd=Show&s=1", std::string(30000, 'x'));
    m_page[u"Msg.SynchFailed"] = u"";
    CDravikPanel& panel = Open();
    {
        ScopedAllocFailure failing;
        Press(panel);
    }
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"Main"); // an empty failed message still names it
    EXPECT_EQ(panel.LastOutcome(), RunOutcome::kFailed);
    boxes.clear();
    Press(panel);
    EXPECT_EQ(panel.LastOutcome(), RunOutcome::kComplete);
}

} // namespace
