// SPDX-License-Identifier: Apache-2.0
// CDravikPanel: the control's one panel and the configuration it shows.
//
// A child dialog (template 201) with a check box per subscription S1-S6, an
// include-links box under each, a follow-outside-links box and the
// Synchronize button. It holds the configuration model (ten texts, the
// twelve subscription slots S1-S6 and NS1-NS6, the follow-outside-links
// flag), keeps the user's choices in the settings file, and runs a
// synchronization when the button is pressed.
#pragma once

#include "control/DravikInterfaces.h"
#include "control/resources/ConfigKeys.h"
#include "control/resources/ResourceIds.h"
#include "control/resources/Strings.h"
#include "crawler/Subscription.h"
#include "foundation/VELString.h"
#include "framework/ui/Button.h"
#include "framework/ui/Dialog.h"
#include "framework/ui/Gdi.h"
#include "platform/kernel/WinTypes.h"

/// The check boxes of slots S1-S6: subscription, and include links.
inline constexpr int kSubscriptionBoxIds[kCheckBoxSlots] = {
    IDC_S1_SUBSCRIPTION, IDC_S2_SUBSCRIPTION, IDC_S3_SUBSCRIPTION,
    IDC_S4_SUBSCRIPTION, IDC_S5_SUBSCRIPTION, IDC_S6_SUBSCRIPTION,
};
inline constexpr int kIncludeLinksBoxIds[kCheckBoxSlots] = {
    IDC_S1_INCLUDE_LINKS, IDC_S2_INCLUDE_LINKS, IDC_S3_INCLUDE_LINKS,
    IDC_S4_INCLUDE_LINKS, IDC_S5_INCLUDE_LINKS, IDC_S6_INCLUDE_LINKS,
};

/// The settings file, as handed to the private-profile service.
const char16_t* DravikSettingsFile();

class CDravikPanel : public CDialog {
  public:
    CDravikPanel();
    ~CDravikPanel() override;

    /// Reads the user's section of the settings file and shows it on the
    /// check boxes, then applies the defaults to every slot not reached.
    void LoadSettings();
    /// Writes the current choices as the user's whole section.
    void SaveSettings();
    /// The whole run: progress window, settings saved, every slot in order.
    void SynchronizeAll();

    /// Click handlers (the panel's message map).
    void OnSynchronize();
    void OnSubscriptionClicked(int slot);

    /// What the last SaveSettings could not keep as the user chose it.
    const DravikSettingsReport& LastSettingsReport() const { return m_settingsReport; }

    RunOutcome LastOutcome() const { return m_lastOutcome; }
    /// The slot whose synchronization failed in the last run, or -1.
    int FailedSlot() const { return m_nFailedSlot; }

    static constexpr const char16_t* kSettingsFile = kSettingsFileName;
    static constexpr COLORREF kWhite = RGB(255, 255, 255);

    CButton m_chkSubscription[kCheckBoxSlots]; // 205, 207, 209, 211, 213, 219
    CButton m_chkIncludeLinks[kCheckBoxSlots]; // 206, 208, 210, 212, 214, 220
    CButton m_btnSynchronize;                  // 201
    CButton m_chkOutsideLinks;                 // 215
    COLORREF m_whiteBrush = kWhite;
    CVELString m_orxPath;
    CVELString m_requestHeaders;
    CVELString m_userName;
    CVELString m_labelOutsideLinks;
    CVELString m_labelSynchronize;
    CSubscription m_slots[kSlotCount];
    BOOL m_bFollowOutsideLinks = FALSE;
    /// Connections each crawl may use at once (1 to kMaxConnections): a
    /// setting of the front end, handed to every slot it synchronizes.
    std::int32_t m_nConnections = 1;
    /// Whether runs offer HTTP/2 to https servers: a setting of the front end.
    BOOL m_bHttp2 = FALSE;
    CVELString m_title;
    CVELString m_msgNoUsername;
    CVELString m_msgSynchInProgress;
    CVELString m_msgSynchFailed;
    CVELString m_msgSynchComplete;

  protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    COLORREF OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor) override;

  private:
    bool GoOnlineIfOffline();
    /// Synchronizes slot `index`; FALSE when it failed.
    BOOL SynchronizeSlot(int index, const FILETIME& start);

    DravikSettingsReport m_settingsReport;
    RunOutcome m_lastOutcome = RunOutcome::kNone;
    int m_nFailedSlot = -1;
};
