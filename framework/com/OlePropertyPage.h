// SPDX-License-Identifier: Apache-2.0
// COlePropertyPage: a page a host shows in a control's property sheet.
//
// The page is a child dialog made from its template, with its caption from
// the string table. The host learns its caption and size (GetPageInfo),
// shows it in a window of its own (Activate), hands it the objects it edits
// (SetObjects), asks whether it changed anything (IsPageDirty) and tells it
// to write its changes (Apply, which runs the dialog's data exchange in the
// saving direction).
#pragma once

#include "framework/com/Unknown.h"
#include "framework/ui/Dialog.h"

#include <atomic>
#include <vector>

struct SIZE {
    LONG cx;
    LONG cy;
};

/// What a page tells its host; the texts stay owned by the page.
struct PROPPAGEINFO {
    const char16_t* pszTitle;
    SIZE size; ///< dialog units of the page's template
    const char16_t* pszDocString;
    const char16_t* pszHelpFile;
};

struct IPropertyPage : IUnknown {
    static constexpr IID kIID = {
        0xB196B28D, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};

    virtual HRESULT GetPageInfo(PROPPAGEINFO* pPageInfo) = 0;
    virtual HRESULT SetObjects(ULONG cObjects, IUnknown** ppUnk) = 0;
    /// Creates the page's window as a child of `pParent`.
    virtual HRESULT Activate(CWnd* pParent, const RECT* pRect, BOOL bModal) = 0;
    /// Destroys the page's window.
    virtual HRESULT Deactivate() = 0;
    /// S_OK when the page holds changes not yet applied, else S_FALSE.
    virtual HRESULT IsPageDirty() = 0;
    virtual HRESULT Apply() = 0;

  protected:
    ~IPropertyPage() = default;
};

constexpr IID IID_IPropertyPage = IPropertyPage::kIID;

class COlePropertyPage : public CDialog, public IPropertyPage {
  public:
    /// The page of dialog `idTemplate` with caption string `idCaption`, both
    /// resources of the module `resources`.
    COlePropertyPage(HINSTANCE resources, int idTemplate, int idCaption);
    ~COlePropertyPage() override;

    HRESULT QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT GetPageInfo(PROPPAGEINFO* pPageInfo) override;
    HRESULT SetObjects(ULONG cObjects, IUnknown** ppUnk) override;
    HRESULT Activate(CWnd* pParent, const RECT* pRect, BOOL bModal) override;
    HRESULT Deactivate() override;
    HRESULT IsPageDirty() override;
    HRESULT Apply() override;

    void SetModifiedFlag(BOOL bModified = TRUE) { m_bDirty = bModified; }

  private:
    void ReleaseObjects();

    std::atomic<ULONG> m_cRef{0};
    HINSTANCE m_hResources;
    int m_idTemplate;
    const char16_t* m_pszCaption;
    std::vector<IUnknown*> m_objects;
    BOOL m_bDirty = FALSE;
};

/// The closing step of a property page's data exchange: when saving, the
/// values exchanged are final. A page that shows no property needs nothing
/// more.
void DDP_PostProcessing(CDataExchange* pDX);
