// SPDX-License-Identifier: Apache-2.0
// The interfaces a host uses to load a control's persistent properties and
// to place it in one of its windows.
//
// IPersistPropertyBag loads and saves the named texts of the host page's
// <param> elements. IOleInPlaceControl stands for what the platform spreads
// over its object, view and in-place interfaces: activating the control in
// a site window (which creates the control's window), painting it, and
// passing it the window messages a windowless control receives.
#pragma once

#include "framework/com/PropExchange.h"
#include "framework/com/Unknown.h"
#include "framework/ui/Gdi.h"

class CWnd;

struct IPersistPropertyBag : IUnknown {
    static constexpr IID kIID = {
        0x37D84F60, 0x42CB, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};

    /// The control starts from its defaults (a reset exchange).
    virtual HRESULT InitNew() = 0;
    /// The control takes its properties from `pPropBag`.
    virtual HRESULT Load(PropertyBag* pPropBag) = 0;
    /// The control writes its properties into `pPropBag`.
    virtual HRESULT Save(PropertyBag* pPropBag, BOOL fClearDirty, BOOL fSaveAllProperties) = 0;

  protected:
    ~IPersistPropertyBag() = default;
};

// Status bits a control registers (MiscStatus): how a host should treat it.
constexpr DWORD OLEMISC_RECOMPOSEONRESIZE = 0x1;
constexpr DWORD OLEMISC_CANTLINKINSIDE = 0x10;
constexpr DWORD OLEMISC_INSIDEOUT = 0x80;
constexpr DWORD OLEMISC_ACTIVATEWHENVISIBLE = 0x100;
constexpr DWORD OLEMISC_SETCLIENTSITEFIRST = 0x20000;

// Verbs.
constexpr LONG OLEIVERB_PRIMARY = 0;
constexpr LONG OLEIVERB_SHOW = -1;
constexpr LONG OLEIVERB_UIACTIVATE = -4;
constexpr LONG OLEIVERB_INPLACEACTIVATE = -5;
constexpr LONG OLEIVERB_PROPERTIES = -7;

/// A verb a control offers its host's menu.
struct OLEVERB {
    LONG lVerb;
    const char16_t* lpszVerbName;
    DWORD fuFlags;
    DWORD grfAttribs;
};
constexpr DWORD OLEVERBATTRIB_ONCONTAINERMENU = 0x2;

/// A counted array of GUIDs. Filled by the object asked; `pElems` points
/// into that object's own data and stays valid while the object lives.
struct CAUUID {
    ULONG cElems;
    const GUID* pElems;
};

/// The property pages an object offers, by class id: a host creates each
/// page from its class and gives it the object.
struct ISpecifyPropertyPages : IUnknown {
    static constexpr IID kIID = {
        0xB196B28B, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};

    virtual HRESULT GetPages(CAUUID* pPages) = 0;

  protected:
    ~ISpecifyPropertyPages() = default;
};

// Window messages and answers.
constexpr UINT WM_MOUSEACTIVATE = 0x0021;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT HTCLIENT = 1;
constexpr int MA_ACTIVATE = 1;

struct IOleInPlaceControl : IUnknown {
    static constexpr IID kIID = {
        0x088DAB20, 0x5E44, 0x416E, {0xA8, 0x11, 0x62, 0xE5, 0xDE, 0xC0, 0x54, 0xA0}};

    /// Activates the control in `pSite` (in place, or with its user
    /// interface for OLEIVERB_UIACTIVATE), creating its window as a child of
    /// the site at `prcPos` on first activation. E_FAIL when the control
    /// refused its window.
    virtual HRESULT DoVerb(LONG iVerb, CWnd* pSite, const RECT* prcPos) = 0;
    /// Paints the control within `prcBounds` of `pDC`.
    virtual HRESULT Draw(CDC* pDC, const RECT* prcBounds) = 0;
    /// Delivers a window message: S_OK with the answer when the control
    /// handled it, S_FALSE when it does not handle that message.
    virtual HRESULT OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* plResult) = 0;
    /// Deactivates the control and destroys its window.
    virtual HRESULT Close() = 0;
    /// The verbs the control offers, for its host's menu: a pointer to the
    /// control's own table and its length.
    virtual HRESULT EnumVerbs(const OLEVERB** ppVerbs, ULONG* pcVerbs) = 0;

  protected:
    ~IOleInPlaceControl() = default;
};

constexpr IID IID_IPersistPropertyBag = IPersistPropertyBag::kIID;
constexpr IID IID_IOleInPlaceControl = IOleInPlaceControl::kIID;
constexpr IID IID_ISpecifyPropertyPages = ISpecifyPropertyPages::kIID;
