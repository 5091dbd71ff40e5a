// IDravikControl: what a front end of ours asks of the control beyond the
// platform's interfaces, and the values it answers with.
//
// A host creates the control by class id and reaches it only through
// interfaces: IPersistPropertyBag to load the page's parameters,
// IOleInPlaceControl to give it a window, paint it and activate it, and
// this one to find the panel (a dialog of the UI model, which the front end
// renders and clicks), the subscriptions it shows, and how the last press
// of Synchronize ended. Texts handed out stay owned by the control and live
// as long as it does.
#pragma once

#include "platform/com/Unknown.h"

class CDialog;

/// How the last press of Synchronize ended.
enum class RunOutcome {
    kNone,       ///< not pressed yet
    kNoUserName, ///< refused: the configuration names no user
    kOffline,    ///< the library stayed offline; nothing was written or fetched
    kFailed,     ///< a subscription failed; later ones were not attempted
    kComplete,   ///< every slot was synchronized or passed over
};

/// One subscription slot with check boxes (S1 to S6).
struct DravikSlotInfo {
    const char16_t* name;              ///< "Sn.Name"; empty for an unused slot
    const char16_t* subscriptionLabel; ///< "Sn.Label.Subscription"
    const char16_t* includeLinksLabel; ///< "Sn.Label.IncludeLinks"
    int subscriptionBoxId;             ///< the panel's check box for the slot
    int includeLinksBoxId;             ///< the panel's include-links box
};

/// How a run ended. The caller sets cbSize to the size of the structure it
/// knows; the control fills only what fits, so the structure can grow.
struct DravikRunResult {
    DWORD cbSize;
    RunOutcome outcome;
    int failedSlot; ///< index 0-11 of the failed slot, or -1
};

struct IDravikControl : IUnknown {
    static constexpr IID kIID = {
        0xD5F9F5BC, 0x5D8D, 0x4803, {0x8C, 0x94, 0x3A, 0x15, 0xAF, 0x23, 0xD7, 0x4F}};

    /// The panel; E_UNEXPECTED before the control has its window.
    virtual HRESULT GetPanel(CDialog** ppPanel) = 0;
    /// The number of slots with check boxes.
    virtual int GetSlotCount() = 0;
    /// Slot `index` (0 to GetSlotCount() - 1); E_INVALIDARG beyond.
    virtual HRESULT GetSlot(int index, DravikSlotInfo* pInfo) = 0;
    /// The application engine's address ("Info.ORXPath"), empty when the
    /// parameters gave none.
    virtual HRESULT GetEngineAddress(const char16_t** ppAddress) = 0;
    virtual HRESULT GetLastRun(DravikRunResult* pResult) = 0;

  protected:
    ~IDravikControl() = default;
};

constexpr IID IID_IDravikControl = IDravikControl::kIID;
