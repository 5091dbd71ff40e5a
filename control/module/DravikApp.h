// SPDX-License-Identifier: Apache-2.0
// CDravikApp: the module object. Loading the module opens the one internet
// session every crawl uses, and the module refuses to load without it;
// unloading closes it.
#pragma once

#include "framework/com/ControlModule.h"

class CDravikApp : public COleControlModule {
  public:
    CDravikApp() = default;
    /// A process that ends with the module still loaded stops it too.
    ~CDravikApp() override { Stop(); }

    BOOL InitInstance() override;
    int ExitInstance() override;
};

extern CDravikApp theApp;

/// The module's own instance handle, for registration.
inline HINSTANCE AfxGetInstanceHandle() {
    return theApp.m_hInstance;
}
