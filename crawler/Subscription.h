// CSubscription: one subscription slot and the crawl that runs for it.
//
// The configuration fields come from the host page's parameters; the check
// box pointers are set by the panel (null for the NS slots, which have no
// boxes). The crawl state holds one synchronization's values while it runs.
// Its lasting effect is what the internet library writes into its cache.
#pragma once

#include "foundation/VELString.h"
#include "platform/WinTypes.h"

class CButton;

class CSubscription {
  public:
    CSubscription() = default;
    virtual ~CSubscription() = default;
    CSubscription(const CSubscription&) = delete;
    CSubscription& operator=(const CSubscription&) = delete;

    // Configuration.
    CVELString m_name;
    CVELString m_labelSubscription;
    CVELString m_labelIncludeLinks;
    CVELString m_startQuery;
    std::int32_t m_nDepthDefault = 0;
    std::int32_t m_nDepthIncludeLinks = 0;
    CButton* m_pSubscriptionBox = nullptr;
    CButton* m_pIncludeLinksBox = nullptr;

    // Crawl state.
    CVELString m_startHost;
    CVELString m_requestHeaders;
    BOOL m_bOutsideLinks = FALSE;
    BOOL m_bSelectionApplied = FALSE;
    FILETIME m_syncStart = {0, 0};
};
