// SPDX-License-Identifier: Apache-2.0
// The module's entry points, the only names it exports.
#include "control/ModuleState.h"
#include "control/module/DravikApp.h"
#include "control/module/Factories.h"
#include "control/resources/TypeLibrary.h"
#include "framework/com/OleRegistration.h"

#define DRAVIK_EXPORT extern "C" __attribute__((visibility("default")))

DRAVIK_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    // A module opened without its start has no internet session: it makes
    // no objects rather than controls that cannot synchronize.
    if (!theApp.IsRunning()) {
        if (ppv != nullptr) {
            *ppv = nullptr;
        }
        return CO_E_NOTINITIALIZED;
    }
    return COleObjectFactory::GetClassObject(ModuleFactories(), rclsid, riid, ppv);
}

DRAVIK_EXPORT HRESULT DllCanUnloadNow() {
    return AfxGetModuleLocks().CanUnloadNow();
}

DRAVIK_EXPORT HRESULT DllRegisterServer() {
    if (!AfxOleRegisterTypeLib(AfxGetInstanceHandle(), DravikTypeLibrary())) {
        return SELFREG_E_TYPELIB;
    }
    if (!COleObjectFactory::UpdateRegistryAll(ModuleFactories(), TRUE)) {
        return SELFREG_E_CLASS;
    }
    return S_OK;
}

DRAVIK_EXPORT HRESULT DllUnregisterServer() {
    if (!AfxOleUnregisterTypeLib(LIBID_DRAVIKLib, 1, 0, 0)) {
        return SELFREG_E_TYPELIB;
    }
    if (!COleObjectFactory::UpdateRegistryAll(ModuleFactories(), FALSE)) {
        return SELFREG_E_CLASS;
    }
    return S_OK;
}
