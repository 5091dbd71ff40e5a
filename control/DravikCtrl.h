// CDravikCtrl: the control a host page embeds.
//
// It owns the panel and takes its whole configuration from the host's
// named text parameters through one property exchange, once: after an
// exchange has left a non-empty engine address, later loads, saves and
// resets leave the configuration untouched.
#pragma once

#include "control/DravikPanel.h"
#include "platform/PropExchange.h"

#include <memory>

class CDravikCtrl {
  public:
    /// Persistent-state version 1.0.
    static constexpr DWORD kVersion = 0x00010000;

    CDravikCtrl();
    ~CDravikCtrl();
    CDravikCtrl(const CDravikCtrl&) = delete;
    CDravikCtrl& operator=(const CDravikCtrl&) = delete;

    CDravikPanel& Panel() { return *m_pPanel; }

    void DoPropExchange(CPropExchange* px);
    /// Runs the exchange in reset mode.
    void OnResetState();

  private:
    std::unique_ptr<CDravikPanel> m_pPanel;
};
