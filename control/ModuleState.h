// SPDX-License-Identifier: Apache-2.0
// The lock count of the module the control's code is linked into.
//
// Every control and property page holds one lock while it lives, and a
// class object's LockServer adds its own; the module may be unloaded only
// when none is left. Each binary that links the control has its own count:
// the loadable module's is the one DllCanUnloadNow reports.
#pragma once

#include "framework/com/ObjectFactory.h"

CModuleLocks& AfxGetModuleLocks();

inline void AfxOleLockApp() {
    AfxGetModuleLocks().Lock();
}
inline void AfxOleUnlockApp() {
    AfxGetModuleLocks().Unlock();
}
