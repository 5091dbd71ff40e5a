// SPDX-License-Identifier: Apache-2.0
#include "framework/com/ControlModule.h"

COleControlModule::COleControlModule(const char* builtFor) : m_builtFor(builtFor) {
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       this, &m_hInstance);
    loader::NoteModuleObject(this);
}

COleControlModule::~COleControlModule() {
    loader::ForgetModuleObject(this);
}

BOOL COleControlModule::InitInstance() {
    return TRUE;
}

int COleControlModule::ExitInstance() {
    return 0;
}

BOOL COleControlModule::Start() {
    m_bRunning = InitInstance() != FALSE;
    if (!m_bRunning) {
        // A refused start still gets its stop, so whatever it opened is closed.
        ExitInstance();
    }
    return m_bRunning ? TRUE : FALSE;
}

void COleControlModule::Stop() {
    if (m_bRunning) {
        m_bRunning = false;
        ExitInstance();
    }
}
