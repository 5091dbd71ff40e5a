// SPDX-License-Identifier: Apache-2.0
#include "framework/com/OlePropertyPage.h"

#include "framework/ui/ResourceTable.h"

COlePropertyPage::COlePropertyPage(HINSTANCE resources, int idTemplate, int idCaption)
    : m_hResources(resources), m_idTemplate(idTemplate) {
    const char16_t* caption = LoadResourceString(resources, idCaption);
    m_pszCaption = caption != nullptr ? caption : u"";
}

COlePropertyPage::~COlePropertyPage() {
    ReleaseObjects();
}

HRESULT COlePropertyPage::QueryInterface(REFIID riid, void** ppvObject) {
    if (ppvObject == nullptr) {
        return E_POINTER;
    }
    if (riid != IID_IUnknown && riid != IID_IPropertyPage) {
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    *ppvObject = static_cast<IPropertyPage*>(this);
    AddRef();
    return S_OK;
}

ULONG COlePropertyPage::AddRef() {
    return ++m_cRef;
}

ULONG COlePropertyPage::Release() {
    const ULONG left = --m_cRef;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT COlePropertyPage::GetPageInfo(PROPPAGEINFO* pPageInfo) {
    if (pPageInfo == nullptr) {
        return E_POINTER;
    }
    const DialogTemplate* page = FindDialogTemplate(m_hResources, m_idTemplate);
    if (page == nullptr) {
        return E_UNEXPECTED;
    }
    *pPageInfo = {m_pszCaption, {page->width, page->height}, nullptr, nullptr};
    return S_OK;
}

HRESULT COlePropertyPage::SetObjects(ULONG cObjects, IUnknown** ppUnk) {
    if (cObjects != 0 && ppUnk == nullptr) {
        return E_POINTER;
    }
    ReleaseObjects();
    for (ULONG i = 0; i < cObjects; ++i) {
        if (ppUnk[i] != nullptr) {
            ppUnk[i]->AddRef();
            m_objects.push_back(ppUnk[i]);
        }
    }
    return S_OK;
}

HRESULT COlePropertyPage::Activate(CWnd* pParent, const RECT*, BOOL) {
    if (IsWindow()) {
        return E_UNEXPECTED;
    }
    if (!Create(m_hResources, m_idTemplate, pParent)) {
        return E_FAIL;
    }
    ShowWindow(SW_SHOW);
    return S_OK;
}

HRESULT COlePropertyPage::Deactivate() {
    DestroyWindow();
    return S_OK;
}

HRESULT COlePropertyPage::IsPageDirty() {
    return m_bDirty ? S_OK : S_FALSE;
}

HRESULT COlePropertyPage::Apply() {
    if (IsWindow() && !UpdateData(TRUE)) {
        return E_FAIL;
    }
    m_bDirty = FALSE;
    return S_OK;
}

void COlePropertyPage::ReleaseObjects() {
    for (IUnknown* object : m_objects) {
        object->Release();
    }
    m_objects.clear();
}

void DDP_PostProcessing(CDataExchange*) {}
