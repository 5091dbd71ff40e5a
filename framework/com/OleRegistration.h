// SPDX-License-Identifier: Apache-2.0
// The control framework's registration helpers: a control class, a
// property page class and a type library written to (or removed from) the
// registry in the platform's standard layout.
//
// A control class is HKEY_CLASSES_ROOT\CLSID\{clsid} with its type name as
// default value and the subkeys ProgID, InprocServer32 (the module, with
// ThreadingModel "Apartment" for apartment threading), ToolboxBitmap32
// ("<module>, <bitmap id>"), MiscStatus ("0", and MiscStatus\1 with the
// status in decimal), Control, Insertable (when insertable), TypeLib and
// Version; its ProgID key holds the type name, CLSID and Insertable.
// Each helper returns FALSE when a record could not be written.
#pragma once

#include "framework/com/ModuleLoader.h"
#include "framework/com/TypeLib.h"

// Registration flags.
constexpr int afxRegInsertable = 0x0001;
constexpr int afxRegApartmentThreading = 0x0002;

/// Registers the control class; type name and bitmap are resource ids of
/// the module.
BOOL AfxOleRegisterControlClass(HINSTANCE hInstance, REFCLSID clsid, const char16_t* pszProgID,
                                UINT idTypeName, UINT idBitmap, int nRegFlags, DWORD dwMiscStatus,
                                REFGUID tlid, WORD wVerMajor, WORD wVerMinor);
/// Registers a property page class: its type name and its module.
BOOL AfxOleRegisterPropertyPageClass(HINSTANCE hInstance, REFCLSID clsid, UINT idTypeName,
                                     int nRegFlags = 0);
/// Removes the class and, when given, its ProgID. What is already gone is
/// no failure.
BOOL AfxOleUnregisterClass(REFCLSID clsid, const char16_t* pszProgID);

/// Registers the module's type library as living in the module, with the
/// module's folder as help folder.
BOOL AfxOleRegisterTypeLib(HINSTANCE hInstance, const TypeLibraryInfo& lib);
/// Unregisters a type library version; one that is not registered is
/// nothing to undo.
BOOL AfxOleUnregisterTypeLib(REFGUID tlid, WORD wVerMajor, WORD wVerMinor, LCID lcid);
