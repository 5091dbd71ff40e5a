// SPDX-License-Identifier: Apache-2.0
// CDravikCtrl: the control a host page embeds.
//
// It owns the panel and takes its whole configuration from the host's
// named text parameters through one property exchange, once: after an
// exchange has left a non-empty engine address, later loads, saves and
// resets leave the configuration untouched. When the host gives it its
// window, the control activates itself in place and creates the panel
// there as a child; it paints nothing but a white background.
#pragma once

#include "control/DravikInterfaces.h"
#include "control/DravikPanel.h"
#include "framework/com/OleControl.h"

#include <memory>

class CDravikCtrl : public COleControl, public IDravikControl {
  public:
    /// Persistent-state version 1.0.
    static constexpr DWORD kVersion = 0x00010000;

    CDravikCtrl();
    ~CDravikCtrl() override;

    CDravikPanel& Panel() { return *m_pPanel; }

    // One IUnknown for every interface of the control.
    HRESULT QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG AddRef() override { return COleControl::AddRef(); }
    ULONG Release() override { return COleControl::Release(); }

    HRESULT GetPanel(CDialog** ppPanel) override;
    int GetSlotCount() override { return kCheckBoxSlots; }
    HRESULT GetSlot(int index, DravikSlotInfo* pInfo) override;
    HRESULT GetEngineAddress(const char16_t** ppAddress) override;
    HRESULT GetLastRun(DravikRunResult* pResult) override;
    HRESULT GetSlotReport(int index, const char16_t** ppName,
                          const CCrawlReport** ppReport) override;
    HRESULT GetSettingsReport(const DravikSettingsReport** ppReport) override;
    HRESULT GetInternetSession(HINTERNET* phInternet) override;
    HRESULT GetTitle(const char16_t** ppTitle) override;
    HRESULT SetConnections(int connections) override;
    HRESULT GetConnections(int* pConnections) override;
    HRESULT SetHttp2(BOOL offer) override;
    HRESULT GetHttp2(BOOL* pOffer) override;

    void DoPropExchange(CPropExchange* px) override;
    /// One page: CDravikPropPage.
    const CLSID* GetPropPageIDs(ULONG& count) override;
    /// Resets the configuration through the framework, which runs the
    /// exchange in reset mode (and so keeps a configuration once taken).
    void OnResetState() override { COleControl::OnResetState(); }

  protected:
    /// Activates the control with its user interface and creates and shows
    /// the panel from template 201. Returns 0, or -1 when the framework's
    /// part or the panel fails.
    int OnCreate() override;
    void OnDestroy() override;
    /// Fills the bounds white.
    void OnDraw(CDC* pDC, const RECT& rcBounds, const RECT& rcInvalid) override;
    /// Activates the control with its user interface first.
    int OnMouseActivate(CWnd* pDesktopWnd, UINT nHitTest, UINT message) override;

  private:
    std::unique_ptr<CDravikPanel> m_pPanel;
};
