// CDravikCtrl: the control a host page embeds.
//
// It owns the panel and takes its whole configuration from the host's
// named text parameters through one property exchange, once: after an
// exchange has left a non-empty engine address, later loads, saves and
// resets leave the configuration untouched. The control's window is the
// site the panel window is created in; the control itself draws nothing but
// a white background.
#pragma once

#include "control/DravikPanel.h"
#include "platform/com/PropExchange.h"
#include "platform/ui/Window.h"

#include <memory>

class CDravikCtrl : public CWnd {
  public:
    /// Persistent-state version 1.0.
    static constexpr DWORD kVersion = 0x00010000;

    CDravikCtrl();
    ~CDravikCtrl() override;
    CDravikCtrl(const CDravikCtrl&) = delete;
    CDravikCtrl& operator=(const CDravikCtrl&) = delete;

    CDravikPanel& Panel() { return *m_pPanel; }

    /// The host gave the control its window: create and show the panel in it
    /// from template 201. Returns 0, or -1 when the panel cannot be created.
    int OnCreate();
    /// What the control paints its own area with.
    COLORREF BackgroundColor() const { return CDravikPanel::kWhite; }

    void DoPropExchange(CPropExchange* px);
    /// Runs the exchange in reset mode.
    void OnResetState();

  private:
    std::unique_ptr<CDravikPanel> m_pPanel;
};
