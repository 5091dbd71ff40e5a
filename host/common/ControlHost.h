// SPDX-License-Identifier: Apache-2.0
// Creating the control from a host page the way a browser does: the
// <object> element's class id is looked up in the registry, the module
// registered for it is loaded and asked for the class object, which makes
// the control; the control loads the page's parameters, gets a window in a
// site of ours, is painted and activated. A host knows the control only by
// its interfaces.
//
// The program hosts only the Dravik control. When its class is not
// registered yet, the bundled module registers itself first, so a new user
// never meets a registration error. Another class id, a class registered
// to a module that is missing or broken, or a module that refuses to start
// is an error that names what was looked up and where.
#pragma once

#include "control/DravikInterfaces.h"
#include "framework/com/OleControl.h"
#include "framework/com/OlePropertyPage.h"
#include "framework/ui/Button.h"
#include "framework/ui/Dialog.h"

#include <memory>
#include <string>
#include <utility>

class HostedControl {
  public:
    /// Why creation failed: `message` for the user and the exit status.
    struct Failure {
        int status = 0;
        std::string message;
    };

    /// Creates the control named by `classId` (the <object>'s attribute as
    /// written) with the page's `params`. Null, with `failure` filled, when
    /// it cannot.
    static std::unique_ptr<HostedControl> Create(const std::string& classId,
                                                 const PropertyBag& params, Failure& failure);
    /// Releases the control and unloads its module when nothing else holds it.
    ~HostedControl();
    HostedControl(const HostedControl&) = delete;
    HostedControl& operator=(const HostedControl&) = delete;

    /// The panel, to render and click.
    CDialog& Panel() { return *m_pPanel; }
    /// The control's own object, e.g. for a property page to be handed.
    IUnknown* Unknown() { return m_pControl.Get(); }
    /// The title the configuration gives ("Label.Title"); empty when none.
    std::u16string Title();
    /// The index of the slot with check boxes named `name`, or -1.
    int FindSlot(const std::u16string& name);
    CButton& SubscriptionBox(int slot) { return Box(SlotInfo(slot).subscriptionBoxId); }
    CButton& IncludeLinksBox(int slot) { return Box(SlotInfo(slot).includeLinksBoxId); }
    /// The panel's button or check box `id`.
    CButton& Box(int id);
    /// The engine address the page gave; empty when none.
    std::u16string EngineAddress();
    DravikRunResult LastRun();
    /// The name of slot `index` (0 to 11) and how its last crawl went.
    std::pair<const char16_t*, const CCrawlReport*> SlotReport(int index);
    const DravikSettingsReport& SettingsReport();
    /// The module's internet session; null when it has none.
    HINTERNET InternetSession();
    /// Connections each crawl may use at once; a failed HRESULT when the
    /// control refuses the number.
    HRESULT SetConnections(int connections);
    /// Whether runs offer HTTP/2 to https servers.
    HRESULT SetHttp2(bool offer);

  private:
    HostedControl() = default;
    DravikSlotInfo SlotInfo(int slot);

    CWnd m_site; // the window the control is placed in
    CComPtr<IOleInPlaceControl> m_pInPlace;
    CComPtr<IDravikControl> m_pControl;
    CDialog* m_pPanel = nullptr;
};

/// The first property page `control` names (ISpecifyPropertyPages), made
/// through its class object as a host makes it, with its caption and size.
/// E_NOINTERFACE when the control names none.
HRESULT CreatePropertyPage(IUnknown* control, CComPtr<IPropertyPage>& page, PROPPAGEINFO& info);
