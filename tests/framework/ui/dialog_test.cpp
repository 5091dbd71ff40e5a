// SPDX-License-Identifier: Apache-2.0
#include "control/resources/ResourceIds.h"
#include "control/resources/Strings.h"
#include "framework/ui/Button.h"
#include "framework/ui/Dialog.h"
#include "framework/ui/Static.h"
#include "support/Text.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace {

// A dialog written the way the control's dialogs are: members bound by
// data exchange, clicks mapped to handlers.
class PanelLike : public CDialog {
  public:
    PanelLike() {
        MapClick(IDC_S1_SUBSCRIPTION, [this] { OnS1(); });
        MapClick(IDC_SYNCHRONIZE, [this] { ++m_synchronized; });
    }

    CButton m_s1;
    CButton m_s1Links;
    CButton m_synchronize;
    std::vector<int> m_checksSeen;
    int m_synchronized = 0;
    BOOL m_bFocusSynchronize = FALSE;

  protected:
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Control(pDX, IDC_S1_SUBSCRIPTION, m_s1);
        DDX_Control(pDX, IDC_S1_INCLUDE_LINKS, m_s1Links);
        DDX_Control(pDX, IDC_SYNCHRONIZE, m_synchronize);
    }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        if (!m_bFocusSynchronize) {
            return TRUE;
        }
        m_synchronize.SetFocus();
        return FALSE;
    }

  private:
    void OnS1() {
        m_checksSeen.push_back(m_s1.GetCheck());
        m_s1Links.EnableWindow(m_s1.GetCheck() == BST_CHECKED);
    }
};

// Binds a text object to a check box: a programming error that creation reports.
class MisboundDialog : public CDialog {
    CStatic m_text;
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Control(pDX, IDC_S1_SUBSCRIPTION, m_text);
    }
};

class WhiteDialog : public CDialog {
  public:
    std::vector<UINT> m_kinds;

  protected:
    COLORREF OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor) override {
        CDialog::OnCtlColor(pDC, pWnd, nCtlColor);
        m_kinds.push_back(nCtlColor);
        pDC->SetBkColor(RGB(255, 255, 255));
        return RGB(255, 255, 255);
    }
};

struct ShownPanel : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(panel.Create(AfxGetResourceHandle(), IDD_DRAVIK_PANEL));
        panel.ShowWindow(SW_SHOWNORMAL);
    }
    PanelLike panel;
};

} // namespace

TEST(DialogCreate, InstantiatesEveryControlOfTheTemplateWithItsInitialState) {
    PanelLike panel;
    EXPECT_FALSE(panel.IsWindow());
    ASSERT_TRUE(panel.Create(AfxGetResourceHandle(), IDD_DRAVIK_PANEL));
    EXPECT_EQ(panel.GetTemplateId(), IDD_DRAVIK_PANEL);
    EXPECT_FALSE(panel.IsWindowVisible()) << "a child panel waits to be shown";
    std::vector<CWnd*> controls = panel.GetControls();
    ASSERT_EQ(controls.size(), panel.GetTemplate()->controls.size());
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const ControlTemplate& t = panel.GetTemplate()->controls[i];
        SCOPED_TRACE(t.id);
        EXPECT_EQ(controls[i]->GetControlTemplate(), &t);
        EXPECT_EQ(controls[i]->GetDlgCtrlID(), t.id);
        EXPECT_EQ(controls[i]->GetParentDialog(), &panel);
        EXPECT_EQ(bool(controls[i]->IsWindowVisible()), t.Has(kCtlVisible));
        EXPECT_EQ(bool(controls[i]->IsWindowEnabled()), !t.Has(kCtlDisabled));
    }
    EXPECT_FALSE(panel.Create(AfxGetResourceHandle(), IDD_DRAVIK_PANEL)) << "already exists";
}

TEST(DialogCreate, PopupTemplateIsShownAndCentredAtOnce) {
    CWnd owner;
    CDialog progress;
    ASSERT_TRUE(progress.Create(AfxGetResourceHandle(), IDD_SYNCH_PROGRESS, &owner));
    EXPECT_TRUE(progress.IsWindowVisible());
    EXPECT_TRUE(progress.IsCentered());
    EXPECT_EQ(progress.GetParent(), &owner);
    EXPECT_EQ(Str(progress.GetWindowText()), u"");
    CDialog unknown;
    EXPECT_FALSE(unknown.Create(AfxGetResourceHandle(), 12345));
    EXPECT_FALSE(unknown.Create(nullptr, IDD_DRAVIK_PANEL)) << "a module with no resources";
    EXPECT_FALSE(unknown.IsWindow());
}

TEST(DialogBinding, MemberBecomesTheControlWithTheTemplatesState) {
    PanelLike panel;
    panel.m_s1.SetWindowText(u"before");
    ASSERT_TRUE(panel.Create(AfxGetResourceHandle(), IDD_DRAVIK_PANEL));
    EXPECT_EQ(panel.GetDlgItem(IDC_S1_SUBSCRIPTION), &panel.m_s1);
    EXPECT_EQ(panel.m_s1.GetDlgCtrlID(), IDC_S1_SUBSCRIPTION);
    EXPECT_EQ(Str(panel.m_s1.GetWindowText()), u"");
    EXPECT_FALSE(panel.m_s1Links.IsWindowEnabled());
    EXPECT_TRUE(panel.UpdateData(FALSE)) << "binding again is harmless";
}

TEST(DialogBinding, WrongKindFailsCreation) {
    MisboundDialog dialog;
    EXPECT_FALSE(dialog.Create(AfxGetResourceHandle(), IDD_DRAVIK_PANEL));
    EXPECT_FALSE(dialog.IsWindow());
}

TEST(DialogBinding, ControlObjectDyingFirstLeavesNoDanglingControl) {
    struct Holder : CDialog {
        std::unique_ptr<CButton> box = std::make_unique<CButton>();
        void DoDataExchange(CDataExchange* pDX) override {
            DDX_Control(pDX, IDC_SYNCHRONIZE, *box);
        }
    } dialog;
    ASSERT_TRUE(dialog.Create(AfxGetResourceHandle(), IDD_DRAVIK_PANEL));
    dialog.ShowWindow(SW_SHOW);
    ASSERT_TRUE(dialog.Click(IDC_SYNCHRONIZE));
    dialog.box.reset();
    EXPECT_EQ(dialog.GetDlgItem(IDC_SYNCHRONIZE), nullptr);
    EXPECT_EQ(dialog.GetFocusId(), 0);
    EXPECT_FALSE(dialog.Click(IDC_SYNCHRONIZE));
}

TEST(DialogDestroy, MembersKeepTheirLastStateButTakeNoRequests) {
    PanelLike panel;
    ASSERT_TRUE(panel.Create(AfxGetResourceHandle(), IDD_DRAVIK_PANEL));
    panel.m_s1.SetCheck(BST_CHECKED);
    panel.m_s1.SetWindowText(u"News");
    EXPECT_TRUE(panel.DestroyWindow());
    EXPECT_FALSE(panel.DestroyWindow());
    EXPECT_EQ(panel.GetDlgItem(IDC_S1_SUBSCRIPTION), nullptr);
    EXPECT_FALSE(panel.m_s1.IsWindow());
    panel.m_s1.SetCheck(BST_UNCHECKED);
    panel.m_s1.SetWindowText(u"changed");
    EXPECT_EQ(panel.m_s1.GetCheck(), BST_CHECKED);
    EXPECT_EQ(Str(panel.m_s1.GetWindowText()), u"News");
    // A new window binds the same members afresh.
    ASSERT_TRUE(panel.Create(AfxGetResourceHandle(), IDD_DRAVIK_PANEL));
    EXPECT_EQ(panel.m_s1.GetCheck(), BST_UNCHECKED);
    EXPECT_EQ(panel.GetDlgItem(IDC_S1_SUBSCRIPTION), &panel.m_s1);
}

TEST_F(ShownPanel, AutoCheckBoxTogglesBeforeItsHandlerRuns) {
    EXPECT_TRUE(panel.Click(IDC_S1_SUBSCRIPTION));
    EXPECT_TRUE(panel.Click(IDC_S1_SUBSCRIPTION));
    EXPECT_EQ(panel.m_checksSeen, (std::vector<int>{BST_CHECKED, BST_UNCHECKED}));
    EXPECT_FALSE(panel.m_s1Links.IsWindowEnabled());
    // A box without a handler still toggles.
    EXPECT_TRUE(panel.Click(IDC_FOLLOW_OUTSIDE_LINKS));
    auto* outside = static_cast<CButton*>(panel.GetDlgItem(IDC_FOLLOW_OUTSIDE_LINKS));
    EXPECT_EQ(outside->GetCheck(), BST_CHECKED);
    // A push button runs its handler and has no check state.
    EXPECT_TRUE(panel.Click(IDC_SYNCHRONIZE));
    EXPECT_EQ(panel.m_synchronized, 1);
    EXPECT_EQ(panel.m_synchronize.GetCheck(), BST_UNCHECKED);
}

TEST_F(ShownPanel, ClicksAUserCouldNotMakeAreRefusedAndChangeNothing) {
    EXPECT_FALSE(panel.Click(IDC_S1_INCLUDE_LINKS)) << "disabled";
    EXPECT_EQ(panel.m_s1Links.GetCheck(), BST_UNCHECKED);
    EXPECT_FALSE(panel.Click(IDC_S4_SUBSCRIPTION)) << "hidden";
    auto* s4 = static_cast<CButton*>(panel.GetDlgItem(IDC_S4_SUBSCRIPTION));
    EXPECT_EQ(s4->GetCheck(), BST_UNCHECKED);
    EXPECT_FALSE(panel.Click(999)) << "no such control";
    panel.EnableWindow(FALSE);
    EXPECT_FALSE(panel.Click(IDC_SYNCHRONIZE)) << "dialog disabled";
    panel.EnableWindow(TRUE);
    panel.ShowWindow(SW_HIDE);
    EXPECT_FALSE(panel.Click(IDC_S1_SUBSCRIPTION)) << "dialog hidden";
    EXPECT_EQ(panel.m_s1.GetCheck(), BST_UNCHECKED);
    EXPECT_TRUE(panel.m_checksSeen.empty());
    EXPECT_EQ(panel.m_synchronized, 0);
    CDialog progress;
    ASSERT_TRUE(progress.Create(AfxGetResourceHandle(), IDD_SYNCH_PROGRESS));
    EXPECT_FALSE(progress.Click(IDC_PROGRESS_TEXT)) << "a text takes no clicks";
}

TEST(DialogClick, NoInputWhileAHandlerRunsEvenIfItThrows) {
    struct Busy : CDialog {
        int runs = 0;
        bool inner = true;
        Busy() {
            MapClick(IDC_SYNCHRONIZE, [this] {
                ++runs;
                inner = Click(IDC_S1_SUBSCRIPTION);
                throw std::runtime_error("crawl failed");
            });
        }
    } dialog;
    ASSERT_TRUE(dialog.Create(AfxGetResourceHandle(), IDD_DRAVIK_PANEL));
    dialog.ShowWindow(SW_SHOW);
    EXPECT_THROW(dialog.Click(IDC_SYNCHRONIZE), std::runtime_error);
    EXPECT_FALSE(dialog.inner) << "the panel does not react during a run";
    EXPECT_TRUE(dialog.Click(IDC_S1_SUBSCRIPTION)) << "input returns after the handler";
}

TEST(DialogFocus, DefaultIsTheFirstReachableTabStopUnlessInitSetsIt) {
    PanelLike byDefault;
    ASSERT_TRUE(byDefault.Create(AfxGetResourceHandle(), IDD_DRAVIK_PANEL));
    EXPECT_EQ(byDefault.GetFocusId(), IDC_S1_SUBSCRIPTION);

    PanelLike chosen;
    chosen.m_bFocusSynchronize = TRUE;
    ASSERT_TRUE(chosen.Create(AfxGetResourceHandle(), IDD_DRAVIK_PANEL));
    EXPECT_EQ(chosen.GetFocusId(), IDC_SYNCHRONIZE);
    EXPECT_EQ(chosen.GetFocus(), &chosen.m_synchronize);
}

TEST_F(ShownPanel, FocusFollowsClicksAndLeavesHiddenOrDisabledControls) {
    EXPECT_EQ(panel.GetDlgItem(IDC_S4_SUBSCRIPTION)->SetFocus(), nullptr) << "hidden";
    EXPECT_EQ(panel.GetFocusId(), IDC_S1_SUBSCRIPTION);
    ASSERT_TRUE(panel.Click(IDC_SYNCHRONIZE));
    EXPECT_EQ(panel.GetFocusId(), IDC_SYNCHRONIZE);
    panel.m_synchronize.EnableWindow(FALSE);
    EXPECT_EQ(panel.GetFocusId(), 0);
    EXPECT_EQ(panel.m_s1.SetFocus(), nullptr) << "returns the previous focus: none";
    panel.m_s1.ShowWindow(SW_HIDE);
    EXPECT_EQ(panel.GetFocusId(), 0);
}

TEST(DialogColors, QueriesReachTheDialogsHandlerWithTheRightKind) {
    CDialog plain;
    EXPECT_FALSE(plain.QueryCtlColor().has_value()) << "no window yet";
    ASSERT_TRUE(plain.Create(AfxGetResourceHandle(), IDD_DRAVIK_PANEL));
    EXPECT_EQ(plain.QueryCtlColor()->brush, kDialogFaceColor);

    WhiteDialog white;
    ASSERT_TRUE(white.Create(AfxGetResourceHandle(), IDD_DRAVIK_PANEL));
    for (auto colors : {white.QueryCtlColor(), white.QueryCtlColor(IDC_S1_SUBSCRIPTION),
                        white.QueryCtlColor(IDC_SYNCHRONIZE)}) {
        ASSERT_TRUE(colors.has_value());
        EXPECT_EQ(colors->brush, RGB(255, 255, 255));
        EXPECT_EQ(colors->background, RGB(255, 255, 255));
    }
    EXPECT_EQ(white.m_kinds, (std::vector<UINT>{CTLCOLOR_DLG, CTLCOLOR_STATIC, CTLCOLOR_BTN}));
    EXPECT_FALSE(white.QueryCtlColor(999).has_value());
}

TEST_F(ShownPanel, TabOrderHitTestAndDefaultButtonFollowTheTemplateAndTheStates) {
    // Visible, enabled tab stops in template order, wrapping: S1, S2, S3,
    // outside links, Synchronize (include-links boxes are disabled, S4-S6
    // hidden).
    const int forward[] = {IDC_S1_SUBSCRIPTION,      IDC_S2_SUBSCRIPTION, IDC_S3_SUBSCRIPTION,
                           IDC_FOLLOW_OUTSIDE_LINKS, IDC_SYNCHRONIZE,     IDC_S1_SUBSCRIPTION};
    const CWnd* at = panel.GetDlgItem(IDC_SYNCHRONIZE);
    for (int id : forward) {
        at = panel.GetNextDlgTabItem(at);
        ASSERT_NE(at, nullptr);
        EXPECT_EQ(at->GetDlgCtrlID(), id);
    }
    EXPECT_EQ(panel.GetNextDlgTabItem(nullptr)->GetDlgCtrlID(), IDC_S1_SUBSCRIPTION);
    EXPECT_EQ(panel.GetNextDlgTabItem(nullptr, TRUE)->GetDlgCtrlID(), IDC_SYNCHRONIZE);
    EXPECT_EQ(panel.GetNextDlgTabItem(&panel.m_s1, TRUE)->GetDlgCtrlID(), IDC_SYNCHRONIZE);
    ASSERT_TRUE(panel.Click(IDC_S1_SUBSCRIPTION)); // enables S1's include-links box
    EXPECT_EQ(panel.GetNextDlgTabItem(&panel.m_s1)->GetDlgCtrlID(), IDC_S1_INCLUDE_LINKS);
    EXPECT_EQ(panel.GetDefID(), IDC_SYNCHRONIZE);

    struct Hit {
        POINT point;
        UINT flags;
        int id; // 0: the dialog itself, -2: nothing
    };
    const Hit hits[] = {
        {{13, 17}, CWP_ALL, IDC_S1_SUBSCRIPTION},
        {{158, 27}, CWP_ALL, IDC_S1_SUBSCRIPTION},
        {{159, 27}, CWP_ALL, 0},
        {{20, 100}, CWP_ALL, IDC_S3_INCLUDE_LINKS},
        {{20, 100}, CWP_SKIPDISABLED, 0},
        {{170, 20}, CWP_ALL, IDC_S4_SUBSCRIPTION},
        {{170, 20}, CWP_SKIPINVISIBLE, 0},
        {{14, 141}, CWP_ALL, IDC_SYNCHRONIZE},
        {{311, 184}, CWP_ALL, 0},
        {{312, 10}, CWP_ALL, -2},
        {{-1, 10}, CWP_ALL, -2},
    };
    for (const Hit& h : hits) {
        CWnd* found = panel.ChildWindowFromPoint(h.point, h.flags);
        const int id = found == nullptr ? -2 : found == &panel ? 0 : found->GetDlgCtrlID();
        EXPECT_EQ(id, h.id) << h.point.x << "," << h.point.y;
    }
}
