// SPDX-License-Identifier: Apache-2.0
#include "control/ModuleState.h"

CModuleLocks& AfxGetModuleLocks() {
    static CModuleLocks locks;
    return locks;
}
