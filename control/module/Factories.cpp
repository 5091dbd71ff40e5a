// SPDX-License-Identifier: Apache-2.0
#include "control/module/Factories.h"

#include "control/CategoryHelpers.h"
#include "control/DravikCtrl.h"
#include "control/DravikPropPage.h"
#include "control/ModuleState.h"
#include "control/module/DravikApp.h"
#include "control/resources/ResourceIds.h"
#include "control/resources/Strings.h"
#include "control/resources/TypeLibrary.h"
#include "framework/com/OleRegistration.h"

namespace {

constexpr DWORD kMiscStatus = OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST |
                              OLEMISC_INSIDEOUT | OLEMISC_CANTLINKINSIDE |
                              OLEMISC_RECOMPOSEONRESIZE;

class CDravikCtrlFactory final : public COleObjectFactory {
  public:
    CDravikCtrlFactory() : COleObjectFactory(CLSID_Dravik, kProgIdControl, AfxGetModuleLocks()) {}

    BOOL UpdateRegistry(BOOL bRegister) override {
        if (!bRegister) {
            // The categories stay: other controls may implement them too.
            return AfxOleUnregisterClass(m_clsid, m_lpszProgID);
        }
        const BOOL registered = AfxOleRegisterControlClass(
            AfxGetInstanceHandle(), m_clsid, m_lpszProgID, IDS_DRAVIK, IDB_DRAVIK,
            afxRegInsertable | afxRegApartmentThreading, kMiscStatus, LIBID_DRAVIKLib, 1, 0);
        // The categories mark the class safe for a web page; without them the
        // class is still registered, and that is what the result reports.
        if (FAILED(CreateComponentCategory(CATID_SafeForInitializing,
                                           kSafeForInitializingDescription)) ||
            FAILED(RegisterCLSIDInCategory(m_clsid, CATID_SafeForInitializing)) ||
            FAILED(CreateComponentCategory(CATID_SafeForScripting, kSafeForScriptingDescription))) {
            return registered;
        }
        RegisterCLSIDInCategory(m_clsid, CATID_SafeForScripting);
        return registered;
    }

  protected:
    IUnknown* OnCreateObject() override { return static_cast<IDravikControl*>(new CDravikCtrl); }
};

class CDravikPropPageFactory final : public COleObjectFactory {
  public:
    CDravikPropPageFactory()
        : COleObjectFactory(CLSID_DravikPropPage, kProgIdPropPage, AfxGetModuleLocks()) {}

    BOOL UpdateRegistry(BOOL bRegister) override {
        if (bRegister) {
            return AfxOleRegisterPropertyPageClass(AfxGetInstanceHandle(), m_clsid, IDS_DRAVIK_PPG);
        }
        return AfxOleUnregisterClass(m_clsid, nullptr);
    }

  protected:
    IUnknown* OnCreateObject() override { return static_cast<IPropertyPage*>(new CDravikPropPage); }
};

} // namespace

std::span<COleObjectFactory* const> ModuleFactories() {
    static CDravikCtrlFactory control;
    static CDravikPropPageFactory page;
    static COleObjectFactory* const factories[] = {&control, &page};
    return factories;
}
