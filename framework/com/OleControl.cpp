// SPDX-License-Identifier: Apache-2.0
#include "framework/com/OleControl.h"

#include <iterator>

COleControl::COleControl() : CWnd(0, false, FALSE, TRUE) {}

COleControl::~COleControl() = default;

HRESULT COleControl::QueryInterface(REFIID riid, void** ppvObject) {
    if (ppvObject == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IPersistPropertyBag) {
        *ppvObject = static_cast<IPersistPropertyBag*>(this);
    } else if (riid == IID_IOleInPlaceControl) {
        *ppvObject = static_cast<IOleInPlaceControl*>(this);
    } else if (riid == IID_ISpecifyPropertyPages) {
        *ppvObject = static_cast<ISpecifyPropertyPages*>(this);
    } else {
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG COleControl::AddRef() {
    return ++m_cRef;
}

ULONG COleControl::Release() {
    const ULONG left = --m_cRef;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT COleControl::InitNew() {
    OnResetState();
    return S_OK;
}

HRESULT COleControl::Load(PropertyBag* pPropBag) {
    if (pPropBag == nullptr) {
        return E_POINTER;
    }
    CPropExchange load(CPropExchange::Mode::Load, *pPropBag);
    DoPropExchange(&load);
    return S_OK;
}

HRESULT COleControl::Save(PropertyBag* pPropBag, BOOL, BOOL) {
    if (pPropBag == nullptr) {
        return E_POINTER;
    }
    CPropExchange save(CPropExchange::Mode::Save, *pPropBag);
    DoPropExchange(&save);
    return S_OK;
}

void COleControl::DoPropExchange(CPropExchange*) {}

void COleControl::OnResetState() {
    PropertyBag none;
    CPropExchange reset(CPropExchange::Mode::Reset, none);
    DoPropExchange(&reset);
}

HRESULT COleControl::DoVerb(LONG iVerb, CWnd* pSite, const RECT* prcPos) {
    if (iVerb != OLEIVERB_SHOW && iVerb != OLEIVERB_UIACTIVATE &&
        iVerb != OLEIVERB_INPLACEACTIVATE) {
        return E_NOTIMPL;
    }
    if (!IsWindow()) {
        if (pSite == nullptr) {
            return E_INVALIDARG;
        }
        m_pSite = pSite;
        m_rcPos = prcPos != nullptr ? *prcPos : RECT{};
    }
    return OnActivateInPlace(iVerb == OLEIVERB_INPLACEACTIVATE ? FALSE : TRUE, nullptr);
}

HRESULT COleControl::EnumVerbs(const OLEVERB** ppVerbs, ULONG* pcVerbs) {
    static constexpr OLEVERB kVerbs[] = {
        {OLEIVERB_PRIMARY, u"&Edit", 0, OLEVERBATTRIB_ONCONTAINERMENU},
        {OLEIVERB_PROPERTIES, u"&Properties...", 0, OLEVERBATTRIB_ONCONTAINERMENU},
    };
    if (ppVerbs == nullptr || pcVerbs == nullptr) {
        return E_POINTER;
    }
    *ppVerbs = kVerbs;
    *pcVerbs = static_cast<ULONG>(std::size(kVerbs));
    return S_OK;
}

HRESULT COleControl::GetPages(CAUUID* pPages) {
    if (pPages == nullptr) {
        return E_POINTER;
    }
    ULONG count = 0;
    pPages->pElems = GetPropPageIDs(count);
    pPages->cElems = pPages->pElems != nullptr ? count : 0;
    return S_OK;
}

const CLSID* COleControl::GetPropPageIDs(ULONG& count) {
    count = 0;
    return nullptr;
}

HRESULT COleControl::Draw(CDC* pDC, const RECT* prcBounds) {
    if (pDC == nullptr || prcBounds == nullptr) {
        return E_INVALIDARG;
    }
    OnDraw(pDC, *prcBounds, *prcBounds);
    return S_OK;
}

HRESULT COleControl::OnWindowMessage(UINT msg, WPARAM, LPARAM lParam, LRESULT* plResult) {
    if (msg != WM_MOUSEACTIVATE || !IsWindow()) {
        return S_FALSE;
    }
    // The hit test in the low half of lParam, the mouse message in the high.
    const auto hitTest = static_cast<UINT>(lParam & 0xFFFF);
    const auto message = static_cast<UINT>((lParam >> 16) & 0xFFFF);
    const int answer = OnMouseActivate(nullptr, hitTest, message);
    if (plResult != nullptr) {
        *plResult = answer;
    }
    return S_OK;
}

HRESULT COleControl::Close() {
    if (IsWindow()) {
        OnDestroy();
        SetExists(false);
    }
    m_bInPlaceActive = FALSE;
    m_bUIActive = FALSE;
    return S_OK;
}

int COleControl::OnCreate() {
    return 0;
}

void COleControl::OnDestroy() {}

void COleControl::OnDraw(CDC*, const RECT&, const RECT&) {}

int COleControl::OnMouseActivate(CWnd*, UINT, UINT) {
    return MA_ACTIVATE;
}

HRESULT COleControl::OnActivateInPlace(BOOL bUIActivate, void*) {
    if (!IsWindow()) {
        const HRESULT hr = CreateControlWindow();
        if (FAILED(hr)) {
            return hr;
        }
    }
    m_bInPlaceActive = TRUE;
    if (bUIActivate) {
        m_bUIActive = TRUE;
    }
    return S_OK;
}

HRESULT COleControl::CreateControlWindow() {
    if (m_pSite == nullptr) {
        return E_UNEXPECTED;
    }
    SetParent(m_pSite);
    ResetState(u"", TRUE, TRUE);
    SetExists(true);
    // The window exists while OnCreate runs, so an activation from there
    // finds it and does not create it again.
    if (OnCreate() == -1) {
        Close(); // no window, and so no activation either
        return E_FAIL;
    }
    return S_OK;
}
