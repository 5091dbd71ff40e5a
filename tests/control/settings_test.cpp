// SPDX-License-Identifier: Apache-2.0
#include "control/DravikPanel.h"
#include "platform/profile/PrivateProfile.h"
#include "support/Text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

class Settings : public ::testing::Test {
  protected:
    void SetUp() override {
        m_home = std::filesystem::temp_directory_path() /
                 ("dravik-settings-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(m_home / "dravik");
        ::setenv("XDG_CONFIG_HOME", m_home.c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(m_home); }

    /// A fresh panel for "jdoe" whose check-box slots carry `names` ("" unnamed).
    CDravikPanel& NewPanel(const std::vector<std::u16string>& names) {
        m_panel = std::make_unique<CDravikPanel>();
        m_panel->m_userName.Assign(u"jdoe");
        for (int i = 0; i < kCheckBoxSlots; ++i) {
            CSubscription& slot = m_panel->m_slots[i];
            slot.m_pSubscriptionBox = &m_panel->m_chkSubscription[i];
            slot.m_pIncludeLinksBox = &m_panel->m_chkIncludeLinks[i];
            m_panel->m_chkIncludeLinks[i].EnableWindow(FALSE);
            slot.m_name.Assign(i < static_cast<int>(names.size()) ? names[i].c_str() : u"");
            slot.m_labelSubscription.Assign(slot.m_name);
        }
        return *m_panel;
    }
    void WriteFile(const std::string& text) {
        std::ofstream(m_home / "dravik" / "dravik.ini") << text;
    }
    std::string ReadFile() {
        std::stringstream all;
        all << std::ifstream(m_home / "dravik" / "dravik.ini").rdbuf();
        return all.str();
    }
    /// Per check-box slot: its check and enabled state, and the include-links box's.
    std::vector<std::string> Boxes() {
        std::vector<std::string> boxes;
        for (int i = 0; i < kCheckBoxSlots; ++i) {
            const CButton& s = m_panel->m_chkSubscription[i];
            const CButton& l = m_panel->m_chkIncludeLinks[i];
            boxes.push_back(
                std::string(s.GetCheck() ? "on" : "off") + (s.IsWindowEnabled() ? "" : " locked") +
                (l.GetCheck() ? " +links" : "") + (l.IsWindowEnabled() ? "" : " nolinks") +
                (s.IsWindowVisible() ? "" : " hidden"));
        }
        return boxes;
    }

    std::filesystem::path m_home;
    std::unique_ptr<CDravikPanel> m_panel;
};

// Values read like numbers (2 or more: with links), the first entry of a
// name wins, an entry without "=" counts for nothing, the other user's
// section is not read, a slot without an entry takes its default (the first
// selected and locked, the others not), a name that is a key of its own
// ("FollowOutsideLinks") or holds "=" gets no choice, and two slots of one
// name share its entry.
TEST_F(Settings, StoredChoicesShowOnTheCheckBoxes) {
    // the user's section, the slots' names, their boxes, the outside-links box
    const std::tuple<std::string, std::vector<std::u16string>, std::vector<std::string>, int>
        cases[] = {
            {"News=2\n", {u"Main"}, {"on locked", "off nolinks hidden"}, BST_UNCHECKED},
            {"A=5\nB=-1\nC=\nD\nE=1\nE=2\nFollowOutsideLinks=1\n",
             {u"Main", u"A", u"B", u"C", u"D", u"E"},
             {"on locked", "on +links", "off nolinks", "off nolinks", "off nolinks", "on"},
             BST_CHECKED},
            {"Main=0\nTwin=2\nFollowOutsideLinks=1\na=b=2\n",
             {u"Main", u"Twin", u"Twin", u"FollowOutsideLinks", u"a=b"},
             {"off locked nolinks", "on +links", "on +links", "off nolinks", "off nolinks",
              "off nolinks hidden"},
             BST_CHECKED},
        };
    for (const auto& [section, names, expected, outside] : cases) {
        WriteFile("[VER_1.0_other]\nA=0\nMain=0\n[VER_1.0_jdoe]\n" + section);
        CDravikPanel& panel = NewPanel(names);
        panel.LoadSettings();
        std::vector<std::string> boxes = Boxes();
        boxes.resize(expected.size());
        EXPECT_EQ(boxes, expected) << section;
        EXPECT_EQ(panel.m_chkOutsideLinks.GetCheck(), outside) << section;
        EXPECT_EQ(Str(panel.m_chkSubscription[0].GetWindowText()), u"Main");
        for (const CSubscription& slot : panel.m_slots) {
            EXPECT_TRUE(slot.m_bSelectionApplied);
        }
    }
    // Saving after the last load writes one entry per named slot, in slot order.
    m_panel->m_bFollowOutsideLinks = FALSE;
    m_panel->SaveSettings();
    EXPECT_EQ(ReadFile(), "[VER_1.0_other]\nA=0\nMain=0\n[VER_1.0_jdoe]\nMain=0\nTwin=2\nTwin=2\n"
                          "FollowOutsideLinks=0\na=b=0\nFollowOutsideLinks=0\n");
}

TEST_F(Settings, NamesThatCannotBeKeysCostOnlyTheirOwnChoice) {
    CDravikPanel& panel =
        NewPanel({u";Sport", u"[Sport]", u"Line\nbreak", u"\xD800", u"Ok", u"Ok"});
    panel.LoadSettings();
    panel.SaveSettings();
    EXPECT_EQ(ReadFile(), "[VER_1.0_jdoe]\nOk=0\nOk=0\nFollowOutsideLinks=0\n");
    EXPECT_EQ(panel.LastSettingsReport().unstorable, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(panel.LastSettingsReport().shared, (std::vector<std::pair<int, int>>{{4, 5}}));

    // A settings file that cannot be written leaves its reason behind.
    std::ofstream(m_home / "config") << "a file, not a folder";
    ::setenv("XDG_CONFIG_HOME", (m_home / "config").c_str(), 1);
    panel.SaveSettings();
    ProfileWriteFailure failure;
    ASSERT_TRUE(GetLastProfileWriteFailure(failure));
    EXPECT_EQ(failure.path, (m_home / "config" / "dravik" / "dravik.ini").string());
    EXPECT_EQ(failure.reason, "Not a directory");
    ::setenv("XDG_CONFIG_HOME", (m_home / "elsewhere").c_str(), 1);
    panel.SaveSettings();
    EXPECT_FALSE(GetLastProfileWriteFailure(failure)) << "a later save succeeded";
}

TEST_F(Settings, SavingWritesExactlyTheNamedSlotsAndKeepsOtherSections) {
    WriteFile("; choices of every user\n[VER_1.0_ann]\nMain=2\n\n[VER_1.0_jdoe]\nGone=1\n");
    CDravikPanel& panel = NewPanel({u"Main", u"News"});
    panel.m_slots[6].m_name.Assign(u"Hidden"); // no check boxes: never stored
    panel.LoadSettings();
    panel.m_chkSubscription[1].SetCheck(BST_CHECKED);
    panel.m_chkIncludeLinks[1].SetCheck(BST_CHECKED);
    panel.m_bFollowOutsideLinks = TRUE;
    panel.SaveSettings();
    EXPECT_EQ(ReadFile(), "; choices of every user\n[VER_1.0_ann]\nMain=2\n\n"
                          "[VER_1.0_jdoe]\nMain=1\nNews=2\nFollowOutsideLinks=1\n");
    // A fresh panel reads back what was saved.
    NewPanel({u"Main", u"News"}).LoadSettings();
    EXPECT_EQ(Boxes()[1], "on +links");
    EXPECT_EQ(m_panel->m_chkOutsideLinks.GetCheck(), BST_CHECKED);
}

} // namespace
