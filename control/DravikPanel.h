// CDravikPanel: the control's one panel and the configuration it shows.
//
// Holds the configuration model (ten texts, the twelve subscription slots
// S1-S6 and NS1-NS6, the follow-outside-links flag), filled once from the
// host page's parameters by the control's property exchange.
#pragma once

#include "crawler/Subscription.h"
#include "foundation/VELString.h"
#include "platform/WinTypes.h"

constexpr int kSlotCount = 12;
constexpr int kCheckBoxSlots = 6; // S1-S6; the NS slots have no check boxes

class CDravikPanel {
  public:
    CDravikPanel() = default;
    CDravikPanel(const CDravikPanel&) = delete;
    CDravikPanel& operator=(const CDravikPanel&) = delete;

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
