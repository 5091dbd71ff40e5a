#include "control/ModuleState.h"

CModuleLocks& AfxGetModuleLocks() {
    static CModuleLocks locks;
    return locks;
}
