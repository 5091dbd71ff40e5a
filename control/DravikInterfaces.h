// SPDX-License-Identifier: Apache-2.0
// IDravikControl: what a front end of ours asks of the control beyond the
// platform's interfaces, and the values it answers with.
//
// A host creates the control by class id and reaches it only through
// interfaces: IPersistPropertyBag to load the page's parameters,
// IOleInPlaceControl to give it a window, paint it and activate it, and
// this one to find the panel (a dialog of the UI model, which the front end
// renders and clicks), its title, the subscriptions it shows, and how the
// last press of Synchronize ended. The interface's id changes whenever its
// methods do, so a program never calls into a module built for another
// version. Texts handed out stay owned by the control and live
// as long as it does.
#pragma once

#include "crawler/CrawlReport.h"
#include "framework/com/Unknown.h"
#include "platform/inet/WinInet.h"

#include <utility>
#include <vector>

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

/// What the last saving of the choices could not keep as the user chose it.
struct DravikSettingsReport {
    /// Slots whose names cannot be keys of the settings file: their choices
    /// were not stored.
    std::vector<int> unstorable;
    /// Pairs of slots sharing one name: read back, the first entry of that
    /// name counts for both.
    std::vector<std::pair<int, int>> shared;
};

/// Bits of DravikRunResult::dwEmptyTexts: configured texts that were empty.
constexpr DWORD kEmptyTitle = 0x1;         ///< "Label.Title"
constexpr DWORD kEmptyNoUsername = 0x2;    ///< "Msg.NoUsername"
constexpr DWORD kEmptySynchComplete = 0x4; ///< "Msg.SynchComplete"
constexpr DWORD kEmptySynchFailed = 0x8;   ///< "Msg.SynchFailed"

/// How a run ended. The caller sets cbSize to the size of the structure it
/// knows; the control fills only what fits, so the structure can grow.
struct DravikRunResult {
    DWORD cbSize;
    RunOutcome outcome;
    int failedSlot;     ///< index 0-11 of the failed slot, or -1
    DWORD dwEmptyTexts; ///< kEmpty* bits of the configured texts that are empty
};

struct IDravikControl : IUnknown {
    static constexpr IID kIID = {
        0x6B0E2C41, 0x93D7, 0x4F5A, {0xB2, 0x8E, 0x51, 0xC4, 0x0A, 0x7D, 0xE3, 0x96}};

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
    /// The name of slot `index` (0 to 11, S1-S6 then NS1-NS6) and how its
    /// last crawl went; E_INVALIDARG beyond.
    virtual HRESULT GetSlotReport(int index, const char16_t** ppName,
                                  const CCrawlReport** ppReport) = 0;
    /// What the last run's saving of the choices could not keep.
    virtual HRESULT GetSettingsReport(const DravikSettingsReport** ppReport) = 0;
    /// The module's internet session, which every request of a run goes
    /// through: a front end sets its status callback to follow the run.
    virtual HRESULT GetInternetSession(HINTERNET* phInternet) = 0;
    /// The title ("Label.Title"), which the control shows as the caption of
    /// its progress window and message boxes; the panel, a child window,
    /// has no caption of its own, so a host may show it around the panel.
    virtual HRESULT GetTitle(const char16_t** ppTitle) = 0;
    /// Connections each crawl of the next runs may use at once (1 to
    /// kMaxConnections, 1 when never set); E_INVALIDARG beyond. With more
    /// than one, embedded resources on other hosts are fetched side by
    /// side while the pages are walked in order.
    virtual HRESULT SetConnections(int connections) = 0;
    virtual HRESULT GetConnections(int* pConnections) = 0;
    /// Whether the next runs offer HTTP/2 to https servers (FALSE when
    /// never set). Where a server takes it, the requests of a crawl to it
    /// share one connection as streams, as many at once as the crawl's
    /// connections; the requests themselves are those of HTTP/1.
    virtual HRESULT SetHttp2(BOOL offer) = 0;
    virtual HRESULT GetHttp2(BOOL* pOffer) = 0;

  protected:
    ~IDravikControl() = default;
};

constexpr IID IID_IDravikControl = IDravikControl::kIID;
