#include "control/DravikPanel.h"
#include "platform/profile/PrivateProfile.h"
#include "support/Text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

class Settings : public ::testing::Test {
  protected:
    void SetUp() override {
        m_home = std::filesystem::temp_directory_path() /
                 ("dravik-settings-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(m_home / "dravik");
        ::setenv("XDG_CONFIG_HOME", m_home.c_str(), 1);
        NewPanel();
    }
    void TearDown() override { std::filesystem::remove_all(m_home); }

    void NewPanel() {
        m_panel = std::make_unique<CDravikPanel>();
        m_panel->m_userName.Assign(u"jdoe");
        for (int i = 0; i < kCheckBoxSlots; ++i) {
            m_panel->m_slots[i].m_pSubscriptionBox = &m_panel->m_chkSubscription[i];
            m_panel->m_slots[i].m_pIncludeLinksBox = &m_panel->m_chkIncludeLinks[i];
            m_panel->m_chkIncludeLinks[i].EnableWindow(FALSE);
        }
    }

    void Name(int slot, const char16_t* name) {
        m_panel->m_slots[slot].m_name.Assign(name);
        m_panel->m_slots[slot].m_labelSubscription.Assign(name);
        m_panel->m_slots[slot].m_labelIncludeLinks.Assign(u"with links");
    }
    void WriteFile(const std::string& text) {
        std::ofstream(m_home / "dravik" / "dravik.ini") << text;
    }
    std::string ReadFile() {
        std::ifstream in(m_home / "dravik" / "dravik.ini");
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }
    /// Check state, enabled, and the include-links box's check and enabled.
    std::string Boxes(int slot) {
        const CButton& s = m_panel->m_chkSubscription[slot];
        const CButton& l = m_panel->m_chkIncludeLinks[slot];
        return std::string(s.GetCheck() ? "checked" : "unchecked") +
               (s.IsWindowEnabled() ? "" : " locked") + (l.GetCheck() ? ", links" : ", no links") +
               (l.IsWindowEnabled() ? "" : " disabled");
    }

    std::filesystem::path m_home;
    std::unique_ptr<CDravikPanel> m_panel;
};

TEST_F(Settings, StoredChoicesShowOnTheCheckBoxes) {
    WriteFile("[VER_1.0_other]\nNews=0\n[VER_1.0_jdoe]\nNews=2\nFollowOutsideLinks=1\n");
    Name(0, u"Main");
    Name(1, u"News");
    m_panel->LoadSettings();
    EXPECT_EQ(Boxes(0), "checked locked, no links");
    EXPECT_EQ(Boxes(1), "checked, links");
    EXPECT_EQ(Boxes(2), "unchecked, no links disabled");
    EXPECT_FALSE(m_panel->m_chkSubscription[2].IsWindowVisible());
    EXPECT_TRUE(m_panel->m_chkSubscription[1].IsWindowVisible());
    EXPECT_EQ(Str(m_panel->m_chkSubscription[1].GetWindowText()), u"News");
    EXPECT_EQ(m_panel->m_chkOutsideLinks.GetCheck(), BST_CHECKED);
    for (const CSubscription& slot : m_panel->m_slots) {
        EXPECT_TRUE(slot.m_bSelectionApplied);
    }
}

TEST_F(Settings, ValuesAreReadLikeNumbersAndTheFirstEntryWins) {
    WriteFile("[VER_1.0_jdoe]\nMain=0\nA=5\nB=-1\nC=\nD\nE=1\nE=2\nF=2\nG=1\nx=y=2\n");
    const char16_t* names[] = {u"Main", u"A", u"B", u"C", u"D", u"E"};
    for (int i = 0; i < 6; ++i) {
        Name(i, names[i]);
    }
    m_panel->LoadSettings();
    EXPECT_EQ(Boxes(0), "unchecked locked, no links disabled");
    EXPECT_EQ(Boxes(1), "checked, links");
    EXPECT_EQ(Boxes(2), "unchecked, no links disabled");
    EXPECT_EQ(Boxes(3), "unchecked, no links disabled");
    EXPECT_EQ(Boxes(4), "unchecked, no links disabled"); // no "=": skipped, default 0
    EXPECT_EQ(Boxes(5), "checked, no links");
    EXPECT_EQ(m_panel->m_chkOutsideLinks.GetCheck(), BST_UNCHECKED);
}

TEST_F(Settings, NamesThatLookLikeKeys) {
    WriteFile("[VER_1.0_jdoe]\nTwin=2\nFollowOutsideLinks=1\na=b=2\n");
    Name(0, u"Twin");
    Name(1, u"Twin");
    Name(2, u"FollowOutsideLinks");
    Name(3, u"a=b");
    m_panel->LoadSettings();
    EXPECT_EQ(Boxes(0), "checked locked, links");
    EXPECT_EQ(Boxes(1), "checked, links");
    EXPECT_EQ(Boxes(2), "unchecked, no links disabled"); // the entry is the flag, not the slot
    EXPECT_EQ(Boxes(3), "unchecked, no links disabled"); // the key ends at the first "="
    EXPECT_EQ(m_panel->m_chkOutsideLinks.GetCheck(), BST_CHECKED);

    m_panel->m_bFollowOutsideLinks = FALSE;
    m_panel->SaveSettings();
    EXPECT_EQ(ReadFile(), "[VER_1.0_jdoe]\nTwin=2\nTwin=2\nFollowOutsideLinks=0\na=b=0\n"
                          "FollowOutsideLinks=0\n");
}

TEST_F(Settings, NamesThatCannotBeKeysCostOnlyTheirOwnChoice) {
    const char16_t* names[] = {u";Sport", u"[Sport]", u"Line\nbreak", u"\xD800", u"Ok", u"Ok"};
    for (int i = 0; i < 6; ++i) {
        Name(i, names[i]);
    }
    m_panel->LoadSettings();
    m_panel->SaveSettings();
    EXPECT_EQ(ReadFile(), "[VER_1.0_jdoe]\nOk=0\nOk=0\nFollowOutsideLinks=0\n");
    EXPECT_EQ(m_panel->LastSettingsReport().unstorable, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(m_panel->LastSettingsReport().shared, (std::vector<std::pair<int, int>>{{4, 5}}));

    // A settings file that cannot be written leaves its reason behind.
    std::ofstream(m_home / "config") << "a file, not a folder";
    ::setenv("XDG_CONFIG_HOME", (m_home / "config").c_str(), 1);
    m_panel->SaveSettings();
    ProfileWriteFailure failure;
    ASSERT_TRUE(GetLastProfileWriteFailure(failure));
    EXPECT_EQ(failure.path, (m_home / "config" / "dravik" / "dravik.ini").string());
    EXPECT_EQ(failure.reason, "Not a directory");
    ::setenv("XDG_CONFIG_HOME", (m_home / "elsewhere").c_str(), 1);
    m_panel->SaveSettings();
    EXPECT_FALSE(GetLastProfileWriteFailure(failure)) << "a later save succeeded";
}

TEST_F(Settings, SavingWritesExactlyTheNamedSlotsAndKeepsOtherSections) {
    WriteFile("; choices of every user\n[VER_1.0_ann]\nMain=2\n\n[VER_1.0_jdoe]\nGone=1\n");
    Name(0, u"Main");
    Name(1, u"News");
    m_panel->m_slots[6].m_name.Assign(u"Hidden"); // no check boxes: never stored
    m_panel->LoadSettings();
    m_panel->m_chkSubscription[1].SetCheck(BST_CHECKED);
    m_panel->m_chkIncludeLinks[1].SetCheck(BST_CHECKED);
    m_panel->m_bFollowOutsideLinks = TRUE;
    m_panel->SaveSettings();
    EXPECT_EQ(ReadFile(), "; choices of every user\n[VER_1.0_ann]\nMain=2\n\n"
                          "[VER_1.0_jdoe]\nMain=1\nNews=2\nFollowOutsideLinks=1\n");

    // A fresh panel reads back what was saved.
    NewPanel();
    Name(0, u"Main");
    Name(1, u"News");
    m_panel->LoadSettings();
    EXPECT_EQ(Boxes(1), "checked, links");
    EXPECT_EQ(m_panel->m_chkOutsideLinks.GetCheck(), BST_CHECKED);
}

} // namespace
