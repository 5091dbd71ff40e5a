// SPDX-License-Identifier: Apache-2.0
// Creating objects by class id, as COM does for in-process servers.
//
// A class id is looked up in the registry (the default value of
// HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32 is the module's path), the module is
// loaded and started (ModuleLoader.h) and asked for the class object through
// its DllGetClassObject. Modules loaded this way stay loaded until
// CoFreeUnusedLibraries finds that their DllCanUnloadNow allows it. The
// platform's own classes (the component categories manager) need no
// registration.
#pragma once

#include "framework/com/Unknown.h"

#include <string>

// Where a class may run; only in-process servers exist here.
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC = 0x3;
constexpr DWORD CLSCTX_ALL = 0x17;

/// The entry points every in-process server exports.
using DllGetClassObjectProc = HRESULT (*)(REFCLSID rclsid, REFIID riid, void** ppv);
using DllCanUnloadNowProc = HRESULT (*)();
using DllRegisterServerProc = HRESULT (*)();

/// The class object of `rclsid` as `riid`. REGDB_E_CLASSNOTREG when the
/// class is not registered, REGDB_E_READREGDB when the registry cannot be
/// read, HRESULT_FROM_WIN32 of the loader's error when the module cannot be
/// loaded or refuses to start, CO_E_ERRORINDLL when it has no
/// DllGetClassObject, else what DllGetClassObject returns.
HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void* pvReserved, REFIID riid,
                         void** ppv);
/// A new object of `rclsid` as `riid`, through its class object.
HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         void** ppv);
/// Unloads every module loaded for a class object whose DllCanUnloadNow
/// returns S_OK.
void CoFreeUnusedLibraries();

/// The class id registered for `progId` (HKEY_CLASSES_ROOT\<progId>\CLSID);
/// CO_E_CLASSSTRING when there is none.
HRESULT CLSIDFromProgID(const char16_t* progId, CLSID* clsid);

/// The registry path of a class's server: "CLSID\{clsid}\InprocServer32".
std::u16string InprocServerKey(REFCLSID clsid);
