// SPDX-License-Identifier: Apache-2.0
#include "control/resources/ResourceIds.h"
#include "control/resources/Strings.h"
#include "framework/ui/Button.h"
#include "framework/ui/Dialog.h"
#include "framework/ui/MessageBox.h"
#include "support/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Seen {
    int dialog; ///< template id of the window or of its dialog
    int id;     ///< control id, 0 for the dialog itself
    WindowChange change;
    std::u16string text;
    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Seen& s) {
    return os << s.dialog << "/" << s.id << " change " << static_cast<int>(s.change);
}

/// Records every change the way a front end would learn of it.
struct Recorder {
    std::vector<Seen> seen;
    ScopedWindowObserver observer{[this](const CWnd& w, WindowChange change) {
        const CDialog* dialog = w.GetParentDialog();
        if (dialog == nullptr) {
            dialog = dynamic_cast<const CDialog*>(&w);
        }
        int templateId = dialog != nullptr ? dialog->GetTemplateId() : 0;
        seen.push_back({templateId, w.GetDlgCtrlID(), change, Str(w.GetWindowText())});
    }};
};

} // namespace

TEST(WindowObserver, ChecksAndEnablingAreToldAndTheObserverIsPutBack) {
    std::vector<WindowChange> outer;
    ScopedWindowObserver keep([&](const CWnd&, WindowChange c) { outer.push_back(c); });
    CDialog panel;
    ASSERT_TRUE(panel.Create(AfxGetResourceHandle(), IDD_DRAVIK_PANEL));
    panel.ShowWindow(SW_SHOW);
    {
        Recorder recorder;
        ASSERT_TRUE(panel.Click(IDC_S2_SUBSCRIPTION));
        panel.GetDlgItem(IDC_S2_INCLUDE_LINKS)->EnableWindow(TRUE);
        const int D = IDD_DRAVIK_PANEL;
        EXPECT_EQ(recorder.seen, (std::vector<Seen>{
                                     {D, 0, WindowChange::Focus, u""},
                                     {D, IDC_S2_SUBSCRIPTION, WindowChange::Check, u""},
                                     {D, IDC_S2_INCLUDE_LINKS, WindowChange::Enabled, u""},
                                 }));
    }
    outer.clear();
    panel.SetWindowText(u"back");
    EXPECT_EQ(outer, std::vector<WindowChange>{WindowChange::Text});
}

TEST(MessageBoxSink, DefaultAnswersOkAndASinkSeesEveryBox) {
    EXPECT_EQ(MessageBoxW(nullptr, u"text", u"caption", MB_OK), IDOK);
    std::vector<MessageBoxRequest> shown;
    CWnd owner;
    {
        ScopedMessageBoxSink sink([&](const MessageBoxRequest& r) {
            shown.push_back(r);
            return 7;
        });
        EXPECT_EQ(owner.MessageBox(u"Synchronization of News failed", u"Dravik",
                                   MB_ICONEXCLAMATION | MB_OK),
                  7);
        EXPECT_EQ(MessageBoxW(nullptr, nullptr, nullptr, MB_OK), 7);
    }
    EXPECT_EQ(MessageBoxW(&owner, u"after", u"sink", MB_OK), IDOK) << "sink put back";
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].owner, &owner);
    EXPECT_EQ(shown[0].text, u"Synchronization of News failed");
    EXPECT_EQ(shown[0].caption, u"Dravik");
    EXPECT_EQ(shown[0].type & MB_ICONMASK, MB_ICONEXCLAMATION);
    EXPECT_EQ(shown[0].type & MB_TYPEMASK, MB_OK);
    EXPECT_EQ(shown[1].text, u"");
    EXPECT_EQ(shown[1].caption, u"Error");
}
