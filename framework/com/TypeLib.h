// SPDX-License-Identifier: Apache-2.0
// Type libraries: the description of a module's classes and interfaces,
// and its registration.
//
// The description is data the module carries (resources/TypeLibrary.h).
// Registering it records where it lives and what it says under
// HKEY_CLASSES_ROOT\TypeLib\{libid}\<major>.<minor> (the help string as the
// default value, the library's name and help file, FLAGS, HELPDIR, and
// <lcid in hex>\linux naming the module), and one Interface\{iid} key per
// interface with its name, help string and library.
#pragma once

#include "framework/com/Guid.h"
#include "framework/com/HResult.h"

#include <string>

/// Flags of a type library entry.
enum TypeFlags : unsigned {
    kTypeHidden = 1u << 0,       ///< not shown by object browsers
    kTypeDispatchable = 1u << 1, ///< reached through IDispatch
    kTypeCreatable = 1u << 2,    ///< a class that CoCreateInstance can make
    kTypeControl = 1u << 3,      ///< a class that is an ActiveX control
};

/// One entry of a type library: an interface or a class.
struct TypeEntry {
    const char16_t* name;
    GUID guid;
    unsigned flags; ///< TypeFlags bits
    const char16_t* helpString;
};

/// A type library with one dispatch interface, one event interface and one
/// control class, which implements the first as its default interface and
/// the second as its default source.
struct TypeLibraryInfo {
    const char16_t* name;
    GUID libid;
    WORD majorVersion;
    WORD minorVersion;
    LCID lcid;
    const char16_t* helpFile;
    const char16_t* helpString;
    TypeEntry dispatchInterface;
    TypeEntry eventInterface;
    TypeEntry controlClass;
};

/// "TypeLib\{libid}\<major>.<minor>".
std::u16string TypeLibVersionKey(REFGUID libid, WORD major, WORD minor);

/// Records `lib` as living in the module `fullPath`, with its help file
/// in `helpDir`. TYPE_E_REGISTRYACCESS when the registry cannot be written.
HRESULT RegisterTypeLib(const TypeLibraryInfo& lib, const char16_t* fullPath,
                        const char16_t* helpDir);
/// Removes the version's records and the interfaces registered for the
/// library. TYPE_E_LIBNOTREGISTERED when that version is not registered,
/// TYPE_E_REGISTRYACCESS when the registry cannot be written.
HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid);
