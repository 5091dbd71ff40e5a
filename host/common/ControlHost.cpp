// SPDX-License-Identifier: Apache-2.0
#include "host/common/ControlHost.h"

#include "control/resources/TypeLibrary.h"
#include "framework/com/ComRuntime.h"
#include "framework/com/ModuleLoader.h"
#include "framework/com/Registry.h"
#include "host/common/ExitStatus.h"
#include "host/common/ModuleRegistration.h"
#include "platform/kernel/LastError.h"
#include "platform/text/Utf8.h"

#include <stdexcept>

namespace {

/// Where the control sits in the site: the panel's template size in pixels
/// at the usual 8-point dialog font (dialog units times 1.5 and 1.625).
constexpr RECT kControlRect = {0, 0, 468, 300};

std::string Text(const std::u16string& text) {
    return Utf16ToUtf8(text);
}

std::string ServerKey(const CLSID& clsid) {
    return "HKEY_CLASSES_ROOT\\" + Text(InprocServerKey(clsid));
}

std::string RegistryName() {
    return RegistryFilePath();
}

/// The module registered for `clsid`, or nothing.
std::optional<std::u16string> RegisteredModule(const CLSID& clsid) {
    return RegGetString(HKEY_CLASSES_ROOT, InprocServerKey(clsid), nullptr);
}

HostedControl::Failure Usage(std::string message) {
    return {kExitUsage, std::move(message)};
}

/// "clsid:" and the class id, as a page's classid attribute gives it.
std::optional<CLSID> ParseClassId(const std::string& classId) {
    constexpr std::string_view kPrefix = "clsid:";
    if (classId.size() <= kPrefix.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < kPrefix.size(); ++i) {
        if ((classId[i] | 0x20) != kPrefix[i]) {
            return std::nullopt;
        }
    }
    return GuidFromString(Utf8ToUtf16(classId.substr(kPrefix.size())), true);
}

HostedControl::Failure ForeignClass(const CLSID& clsid) {
    const std::optional<std::u16string> module = RegisteredModule(clsid);
    return Usage("the page's <object> asks for class " + Text(GuidToString(clsid)) +
                 ", not the Dravik control " + Text(GuidToString(CLSID_Dravik)) + "; " +
                 ServerKey(clsid) + " in " + RegistryName() +
                 (module ? " names " + Text(*module) : " does not exist"));
}

/// Registers the bundled module when the control's class is not registered.
bool EnsureRegistered(HostedControl::Failure& failure) {
    if (const std::optional<std::string> unreadable = RegistryReadFailure()) {
        failure = Usage("the registry cannot be read: " + *unreadable +
                        "; move the file aside and run `dravik register` to start afresh");
        return false;
    }
    if (RegisteredModule(CLSID_Dravik)) {
        return true;
    }
    std::string error;
    if (CallRegistrationEntry(BundledModulePath(), "DllRegisterServer", error)) {
        return true;
    }
    failure = Usage("the control is not registered (" + ServerKey(CLSID_Dravik) + " in " +
                    RegistryName() + ") and registering the bundled module failed: " + error);
    return false;
}

HostedControl::Failure CreationFailure(HRESULT hr) {
    const std::string where = ServerKey(CLSID_Dravik) + " in " + RegistryName();
    const std::optional<std::u16string> module = RegisteredModule(CLSID_Dravik);
    const std::string named = module ? Text(*module) : std::string("no module");
    const std::string fix = "; `dravik register` registers the bundled module";
    if (hr == HRESULT_FROM_WIN32(ERROR_DLL_INIT_FAILED)) {
        return {kExitTransport, "the control's module " + named +
                                    " refused to start: it could not open its internet session"};
    }
    std::string reason = DescribeHResult(hr);
    if (hr == HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT)) {
        reason += " (" + GetModuleLoadError() + ")";
    }
    return Usage("the control could not be created: " + where + " names " + named + ": " + reason +
                 fix);
}

} // namespace

std::unique_ptr<HostedControl> HostedControl::Create(const std::string& classId,
                                                     const PropertyBag& params, Failure& failure) {
    const std::optional<CLSID> clsid = ParseClassId(classId);
    if (!clsid) {
        failure = Usage("the page's <object> classid \"" + classId +
                        "\" is not a class id (\"clsid:\" and 32 hex digits with dashes)");
        return nullptr;
    }
    if (*clsid != CLSID_Dravik) {
        failure = ForeignClass(*clsid);
        return nullptr;
    }
    if (!EnsureRegistered(failure)) {
        return nullptr;
    }
    std::unique_ptr<HostedControl> host(new HostedControl);
    CComPtr<IPersistPropertyBag> persist;
    HRESULT hr = CoCreateInstance(CLSID_Dravik, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IPersistPropertyBag, persist.Receive());
    if (FAILED(hr)) {
        failure = CreationFailure(hr);
        return nullptr;
    }
    host->m_pInPlace = persist.As<IOleInPlaceControl>();
    host->m_pControl = persist.As<IDravikControl>();
    if (!host->m_pInPlace || !host->m_pControl) {
        failure = Usage("the registered module made an object that is not the Dravik control");
        return nullptr;
    }
    PropertyBag bag = params;
    persist->Load(&bag);
    // The window, a first paint and the click that activates it, as a
    // browser gives them.
    CDC dc;
    LRESULT activation = 0;
    if (FAILED(host->m_pInPlace->DoVerb(OLEIVERB_INPLACEACTIVATE, &host->m_site, &kControlRect)) ||
        FAILED(host->m_pInPlace->Draw(&dc, &kControlRect)) ||
        FAILED(host->m_pInPlace->OnWindowMessage(
            WM_MOUSEACTIVATE, 0, static_cast<LPARAM>(HTCLIENT | (WM_LBUTTONDOWN << 16)),
            &activation)) ||
        FAILED(host->m_pControl->GetPanel(&host->m_pPanel))) {
        failure = Usage("the panel could not be created");
        return nullptr;
    }
    return host;
}

HostedControl::~HostedControl() {
    if (m_pInPlace) {
        m_pInPlace->Close();
    }
    m_pControl.Reset();
    m_pInPlace.Reset();
    CoFreeUnusedLibraries();
}

DravikSlotInfo HostedControl::SlotInfo(int slot) {
    DravikSlotInfo info{};
    if (FAILED(m_pControl->GetSlot(slot, &info))) {
        throw std::out_of_range("no slot " + std::to_string(slot));
    }
    return info;
}

int HostedControl::FindSlot(const std::u16string& name) {
    for (int i = 0; i < m_pControl->GetSlotCount(); ++i) {
        const DravikSlotInfo info = SlotInfo(i);
        if (info.name[0] != 0 && name == info.name) {
            return i;
        }
    }
    return -1;
}

CButton& HostedControl::Box(int id) {
    auto* box = dynamic_cast<CButton*>(m_pPanel->GetDlgItem(id));
    if (box == nullptr) {
        throw std::out_of_range("the panel has no button " + std::to_string(id));
    }
    return *box;
}

std::u16string HostedControl::EngineAddress() {
    const char16_t* address = nullptr;
    m_pControl->GetEngineAddress(&address);
    return address != nullptr ? address : u"";
}

std::u16string HostedControl::Title() {
    const char16_t* title = nullptr;
    m_pControl->GetTitle(&title);
    return title != nullptr ? title : u"";
}

DravikRunResult HostedControl::LastRun() {
    DravikRunResult result{sizeof(DravikRunResult), RunOutcome::kNone, -1, 0};
    m_pControl->GetLastRun(&result);
    return result;
}

std::pair<const char16_t*, const CCrawlReport*> HostedControl::SlotReport(int index) {
    const char16_t* name = nullptr;
    const CCrawlReport* report = nullptr;
    if (FAILED(m_pControl->GetSlotReport(index, &name, &report))) {
        throw std::out_of_range("no slot " + std::to_string(index));
    }
    return {name, report};
}

const DravikSettingsReport& HostedControl::SettingsReport() {
    const DravikSettingsReport* report = nullptr;
    m_pControl->GetSettingsReport(&report);
    return *report;
}

HINTERNET HostedControl::InternetSession() {
    HINTERNET session = nullptr;
    m_pControl->GetInternetSession(&session);
    return session;
}

HRESULT HostedControl::SetHttp2(bool offer) {
    return m_pControl->SetHttp2(offer ? TRUE : FALSE);
}

HRESULT HostedControl::SetConnections(int connections) {
    return m_pControl->SetConnections(connections);
}

HRESULT CreatePropertyPage(IUnknown* control, CComPtr<IPropertyPage>& page, PROPPAGEINFO& info) {
    CComPtr<ISpecifyPropertyPages> pages;
    if (control == nullptr ||
        FAILED(control->QueryInterface(IID_ISpecifyPropertyPages, pages.Receive()))) {
        return E_NOINTERFACE;
    }
    CAUUID ids{};
    if (FAILED(pages->GetPages(&ids)) || ids.cElems == 0) {
        return E_NOINTERFACE;
    }
    const HRESULT hr = CoCreateInstance(ids.pElems[0], nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IPropertyPage, page.Receive());
    return SUCCEEDED(hr) ? page->GetPageInfo(&info) : hr;
}
