// SPDX-License-Identifier: Apache-2.0
#include "control/module/DravikApp.h"

#include "net/InternetSession.h"

CDravikApp theApp;

BOOL CDravikApp::InitInstance() {
    if (!COleControlModule::InitInstance()) {
        return FALSE;
    }
    return OpenInternetSession() ? TRUE : FALSE;
}

int CDravikApp::ExitInstance() {
    if (g_hInternet != nullptr) {
        InternetCloseHandle(g_hInternet);
        g_hInternet = nullptr;
    }
    return COleControlModule::ExitInstance();
}
