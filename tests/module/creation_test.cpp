// SPDX-License-Identifier: Apache-2.0
// Creating the control and its property page from the built module the
// way a host does, and when the module may go. The whole road of a host
// (create by class id, load, place, paint, activate, run) is proven by the
// command's tests; these pin what a host relies on beyond that road.
#include "control/DravikInterfaces.h"
#include "control/resources/ResourceIds.h"
#include "framework/com/OleInterfaces.h"
#include "framework/com/OlePropertyPage.h"
#include "module/ModuleTest.h"
#include "platform/text/Utf8.h"

namespace {

constexpr CLSID kControl = {
    0xAA31AF6A, 0x7213, 0x44D3, {0xA5, 0xA5, 0xF1, 0x46, 0xD4, 0x5B, 0x56, 0x8F}};
constexpr CLSID kPage = {
    0x2AD61F7C, 0xEDC3, 0x4077, {0x90, 0x11, 0x2E, 0x6A, 0x02, 0xF5, 0x50, 0x86}};
constexpr CLSID kUnknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

class Creation : public ModuleTest {
  protected:
    void SetUp() override {
        ModuleTest::SetUp();
        ASSERT_EQ(Call("DllRegisterServer"), S_OK);
    }
    template <class T> HRESULT Create(const CLSID& clsid, CComPtr<T>& out) {
        return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, T::kIID, out.Receive());
    }
    /// The module's own entry point `name`, from a load that `FreeLibrary(m_loaded)` ends.
    template <class Proc> Proc Entry(const char* name) {
        m_loaded = LoadLibraryW(Utf8ToUtf16(m_module).c_str());
        return reinterpret_cast<Proc>(GetProcAddress(m_loaded, name));
    }

    HMODULE m_loaded = nullptr;
};

TEST_F(Creation, ByProgIdThroughTheFactoryAndWhatTheFactoryRefuses) {
    CLSID byProgId{};
    ASSERT_EQ(CLSIDFromProgID(u"DRAVIK.DravikCtrl.1", &byProgId), S_OK);
    EXPECT_EQ(byProgId, kControl);
    CComPtr<IDravikControl> control;
    ASSERT_EQ(Create(byProgId, control), S_OK);
    EXPECT_EQ(control->GetSlotCount(), 6);
    EXPECT_TRUE(control.As<IPersistPropertyBag>());
    EXPECT_TRUE(control.As<IOleInPlaceControl>());

    CComPtr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(kControl, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               factory.Receive()),
              S_OK);
    CComPtr<IUnknown> object;
    CComPtr<IUnknown> other;
    CComPtr<IUnknown> outer;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, outer.Receive()), S_OK);
    auto getClassObject = Entry<DllGetClassObjectProc>("DllGetClassObject");
    const std::pair<HRESULT, HRESULT> cases[] = {
        // An interface the control lacks, and one the factory lacks.
        {factory->CreateInstance(nullptr, IID_IClassFactory, object.Receive()), E_NOINTERFACE},
        {CoGetClassObject(kControl, CLSCTX_INPROC_SERVER, nullptr, IID_IPropertyPage,
                          other.Receive()),
         E_NOINTERFACE},
        // A class the module lacks, a class and a ProgID nobody registered.
        {getClassObject(kUnknown, IID_IClassFactory, other.Receive()), CLASS_E_CLASSNOTAVAILABLE},
        {Create(kUnknown, other), REGDB_E_CLASSNOTREG},
        {CLSIDFromProgID(u"DRAVIK.Nothing.1", &byProgId), CO_E_CLASSSTRING},
        {factory->CreateInstance(outer.Get(), IID_IUnknown, object.Receive()),
         CLASS_E_NOAGGREGATION},
    };
    FreeLibrary(m_loaded);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(cases[i].first, cases[i].second) << "case " << i;
    }
    EXPECT_FALSE(object);
    EXPECT_FALSE(other);
}

TEST_F(Creation, TheControlIsPlacedPaintedAndActivatedAsAHostExpects) {
    CWnd site; // outlives the control placed in it
    CComPtr<IPersistPropertyBag> persist;
    ASSERT_EQ(Create(kControl, persist), S_OK);
    PropertyBag page = {{u"Info.ORXPath", u"http://engine/orx"}, {u"S1.Name", u"Main"}};
    ASSERT_EQ(persist->Load(&page), S_OK);
    CComPtr<IOleInPlaceControl> inPlace = persist.As<IOleInPlaceControl>();
    CComPtr<IDravikControl> control = persist.As<IDravikControl>();
    CDialog* panel = nullptr;
    EXPECT_EQ(control->GetPanel(&panel), E_UNEXPECTED) << "no window yet";

    const RECT bounds = {0, 0, 468, 300};
    ASSERT_EQ(inPlace->DoVerb(OLEIVERB_INPLACEACTIVATE, &site, &bounds), S_OK);
    ASSERT_EQ(control->GetPanel(&panel), S_OK);
    EXPECT_EQ(panel->GetTemplateId(), IDD_DRAVIK_PANEL);
    ASSERT_NE(panel->GetParent(), nullptr);
    EXPECT_EQ(panel->GetParent()->GetParent(), &site) << "the panel is the control window's child";
    DravikSlotInfo slot{};
    EXPECT_EQ(control->GetSlot(6, &slot), E_INVALIDARG) << "six slots have check boxes";

    CDC dc;
    ASSERT_EQ(inPlace->Draw(&dc, &bounds), S_OK);
    ASSERT_EQ(dc.GetFills().size(), 1u);
    EXPECT_EQ(dc.GetFills()[0].rect, bounds);
    EXPECT_EQ(dc.GetFills()[0].brush, RGB(255, 255, 255));
    LRESULT activation = 0;
    EXPECT_EQ(inPlace->OnWindowMessage(WM_MOUSEACTIVATE, 0, HTCLIENT | (WM_LBUTTONDOWN << 16),
                                       &activation),
              S_OK);
    EXPECT_EQ(activation, MA_ACTIVATE);
    ASSERT_EQ(inPlace->Close(), S_OK);
    EXPECT_FALSE(panel->IsWindow()) << "the panel goes with the control's window";
}

TEST_F(Creation, ThePropertyPageShowsNothingAndChangesNothing) {
    CWnd sheet;
    CComPtr<IPropertyPage> page;
    ASSERT_EQ(Create(kPage, page), S_OK);
    PROPPAGEINFO info{};
    ASSERT_EQ(page->GetPageInfo(&info), S_OK);
    EXPECT_EQ(std::u16string(info.pszTitle), u"General");
    EXPECT_EQ(info.size.cx, 250);
    EXPECT_EQ(info.size.cy, 62);

    CComPtr<IPersistPropertyBag> control;
    ASSERT_EQ(Create(kControl, control), S_OK);
    PropertyBag before;
    PropertyBag after;
    ASSERT_EQ(control->Save(&before, TRUE, TRUE), S_OK);
    IUnknown* objects[] = {control.Get()};
    ASSERT_EQ(page->SetObjects(1, objects), S_OK);
    ASSERT_EQ(page->Activate(&sheet, nullptr, FALSE), S_OK);
    const auto* dialog = dynamic_cast<CDialog*>(page.Get());
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->GetTemplateId(), IDD_PROPPAGE);
    for (const CWnd* child : dialog->GetControls()) {
        EXPECT_EQ(child->GetWindowText().GetLength(), 0);
    }
    EXPECT_EQ(page->IsPageDirty(), S_FALSE);
    EXPECT_EQ(page->Apply(), S_OK);
    ASSERT_EQ(control->Save(&after, TRUE, TRUE), S_OK);
    EXPECT_EQ(after, before);
    EXPECT_EQ(page->Deactivate(), S_OK);
    EXPECT_EQ(page->SetObjects(0, nullptr), S_OK);
}

TEST_F(Creation, TheModuleMayGoOnlyAfterTheLastObjectAndLock) {
    auto canUnload = Entry<DllCanUnloadNowProc>("DllCanUnloadNow");
    auto getClassObject =
        reinterpret_cast<DllGetClassObjectProc>(GetProcAddress(m_loaded, "DllGetClassObject"));
    CComPtr<IClassFactory> factory;
    ASSERT_EQ(getClassObject(kControl, IID_IClassFactory, factory.Receive()), S_OK);
    EXPECT_EQ(canUnload(), S_OK) << "a class object alone does not hold the module";
    CComPtr<IUnknown> first;
    CComPtr<IUnknown> second;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, first.Receive()), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, second.Receive()), S_OK);
    first.Reset();
    EXPECT_EQ(canUnload(), S_FALSE) << "an object lives";
    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    second.Reset();
    EXPECT_EQ(canUnload(), S_FALSE) << "locked";
    ASSERT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(canUnload(), S_OK);
    // A release without a lock changes nothing: the count never goes below
    // zero, where a later object would leave the module free to unload.
    EXPECT_EQ(factory->LockServer(FALSE), E_UNEXPECTED);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, second.Receive()), S_OK);
    EXPECT_EQ(canUnload(), S_FALSE) << "an object lives after a stray release";
    second.Reset();
    factory.Reset();
    FreeLibrary(m_loaded);

    // Through the COM runtime: the module stays while an object lives.
    CComPtr<IDravikControl> control;
    ASSERT_EQ(Create(kControl, control), S_OK);
    CoFreeUnusedLibraries();
    EXPECT_TRUE(IsLoaded());
    control.Reset();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(IsLoaded());
}

TEST_F(Creation, TheModuleRefusesToLoadWithoutItsInternetSession) {
    Fault("InternetOpenW");
    EXPECT_EQ(LoadLibraryW(Utf8ToUtf16(m_module).c_str()), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_DLL_INIT_FAILED);
    CComPtr<IUnknown> control;
    EXPECT_EQ(Create(kControl, control), HRESULT_FROM_WIN32(ERROR_DLL_INIT_FAILED));
    EXPECT_FALSE(IsLoaded());
    Fault("");
    EXPECT_EQ(Create(kControl, control), S_OK);
}

} // namespace
