// CDravikPanel: the control's one panel and the configuration it shows.
//
// Holds the configuration model (ten texts, the twelve subscription slots
// S1-S6 and NS1-NS6, the follow-outside-links flag), filled once from the
// host page's parameters by the control's property exchange.
#pragma once

#include "crawler/Subscription.h"
#include "foundation/VELString.h"
#include "platform/WinTypes.h"
#include "platform/ui/Button.h"

constexpr int kSlotCount = 12;
constexpr int kCheckBoxSlots = 6; // S1-S6; the NS slots have no check boxes

/// The settings file, as handed to the private-profile service.
const char16_t* DravikSettingsFile();

class CDravikPanel {
  public:
    CDravikPanel() = default;
    CDravikPanel(const CDravikPanel&) = delete;
    CDravikPanel& operator=(const CDravikPanel&) = delete;

    /// Reads the user's section of the settings file and shows it on the
    /// check boxes, then applies the defaults to every slot not reached.
    void LoadSettings();
    /// Writes the current choices as the user's whole section.
    void SaveSettings();

    /// The name of the settings file.
    static constexpr const char16_t* kSettingsFile = u"dravik.ini";

    CButton m_chkSubscription[kCheckBoxSlots]; // 205, 207, 209, 211, 213, 219
    CButton m_chkIncludeLinks[kCheckBoxSlots]; // 206, 208, 210, 212, 214, 220
    CButton m_btnSynchronize;                  // 201
    CButton m_chkOutsideLinks;                 // 215
    CVELString m_orxPath;
    CVELString m_requestHeaders;
    CVELString m_userName;
    CVELString m_labelOutsideLinks;
    CVELString m_labelSynchronize;
    CSubscription m_slots[kSlotCount];
    BOOL m_bFollowOutsideLinks = FALSE;
    CVELString m_title;
    CVELString m_msgNoUsername;
    CVELString m_msgSynchInProgress;
    CVELString m_msgSynchFailed;
    CVELString m_msgSynchComplete;
};
