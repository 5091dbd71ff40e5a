// SPDX-License-Identifier: Apache-2.0
// COleControl: the base of a control that a host creates, loads and places.
//
// It answers the host's interfaces (IPersistPropertyBag, IOleInPlaceControl)
// by calling the overridables a control implements: DoPropExchange for its
// properties, OnCreate when its window is made, OnDraw to paint,
// OnMouseActivate when the user clicks into it. The control's window is
// this CWnd: it exists from the first in-place activation, as a child of
// the host's site window, until Close.
//
// Reference counting: the object starts without references and deletes
// itself when the last is released, unless it was never counted (a control
// made directly, as tests do, is owned by its maker).
#pragma once

#include "framework/com/OleInterfaces.h"
#include "framework/ui/Window.h"

#include <atomic>

class COleControl : public CWnd,
                    public IPersistPropertyBag,
                    public IOleInPlaceControl,
                    public ISpecifyPropertyPages {
  public:
    COleControl();
    ~COleControl() override;

    HRESULT QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT InitNew() override;
    HRESULT Load(PropertyBag* pPropBag) override;
    HRESULT Save(PropertyBag* pPropBag, BOOL fClearDirty, BOOL fSaveAllProperties) override;

    HRESULT DoVerb(LONG iVerb, CWnd* pSite, const RECT* prcPos) override;
    HRESULT Draw(CDC* pDC, const RECT* prcBounds) override;
    HRESULT OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* plResult) override;
    HRESULT Close() override;
    /// The framework's standard verbs: edit (the primary verb) and properties.
    HRESULT EnumVerbs(const OLEVERB** ppVerbs, ULONG* pcVerbs) override;

    /// The pages GetPropPageIDs names.
    HRESULT GetPages(CAUUID* pPages) override;

    /// The control's persistent properties; the base has no stock properties.
    virtual void DoPropExchange(CPropExchange* pPX);
    /// Runs DoPropExchange in reset mode.
    virtual void OnResetState();

    BOOL IsInPlaceActive() const { return m_bInPlaceActive; }
    BOOL IsUIActive() const { return m_bUIActive; }
    /// Where the host placed the control's window; empty before.
    const RECT& GetPosition() const { return m_rcPos; }

  protected:
    /// The class ids of the control's property pages, and their number in
    /// `count`. The framework's part: none.
    virtual const CLSID* GetPropPageIDs(ULONG& count);

    /// The control's window was created. The framework's part: 0; return -1
    /// to refuse the window.
    virtual int OnCreate();
    /// The window is about to be destroyed.
    virtual void OnDestroy();
    /// Paints the control. The framework's part paints nothing.
    virtual void OnDraw(CDC* pDC, const RECT& rcBounds, const RECT& rcInvalid);
    /// A click is about to reach the control. The framework's part: MA_ACTIVATE.
    virtual int OnMouseActivate(CWnd* pDesktopWnd, UINT nHitTest, UINT message);

    /// Activates the control in place (and its user interface when
    /// `bUIActivate`), creating its window first when it has none.
    HRESULT OnActivateInPlace(BOOL bUIActivate, void* pMsg);

  private:
    HRESULT CreateControlWindow();

    std::atomic<ULONG> m_cRef{0};
    CWnd* m_pSite = nullptr;
    RECT m_rcPos{};
    BOOL m_bInPlaceActive = FALSE;
    BOOL m_bUIActive = FALSE;
};
