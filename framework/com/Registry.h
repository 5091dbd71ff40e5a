// SPDX-License-Identifier: Apache-2.0
// The registry: a tree of named keys holding named, typed values, where COM
// looks up classes, ProgIDs, type libraries and component categories.
//
// It keeps the Windows calls, names and error codes: keys are opened or
// created under a predefined root (HKEY_CLASSES_ROOT) by a backslash path,
// names compare without regard to A-Z case, the empty value name is the
// key's default value, and value reads follow the two-call protocol (ask for
// the size with null data, then read; a buffer too small gives
// ERROR_MORE_DATA and the size needed).
//
// The store is one SQLite file, $XDG_DATA_HOME/dravik/registry.sqlite
// (default ~/.local/share/dravik/). Each call is one transaction, so
// processes registering at the same time, or one killed halfway, leave it
// whole: every call either happened or did not. A key handle names its key
// by path, so a key deleted by another process reads as ERROR_KEY_DELETED.
#pragma once

#include "platform/kernel/LastError.h"
#include "platform/kernel/WinTypes.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct HKEY__;
using HKEY = HKEY__*;
using LSTATUS = LONG;
using REGSAM = DWORD;

/// The root of class registrations.
extern const HKEY HKEY_CLASSES_ROOT;

// Value types.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

// Access rights and options, accepted for the Windows signatures; every
// handle may read and write.
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;

// Dispositions of RegCreateKeyExW.
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

/// Longest key name, in UTF-16 units.
constexpr DWORD kMaxKeyNameLength = 255;

/// Opens `subKey` under `hKey`, creating it and every missing key above it.
LSTATUS RegCreateKeyExW(HKEY hKey, const char16_t* subKey, DWORD reserved, char16_t* keyClass,
                        DWORD options, REGSAM samDesired, void* securityAttributes, HKEY* phkResult,
                        DWORD* lpdwDisposition);
/// Opens an existing key; ERROR_FILE_NOT_FOUND when it does not exist.
LSTATUS RegOpenKeyExW(HKEY hKey, const char16_t* subKey, DWORD options, REGSAM samDesired,
                      HKEY* phkResult);
LSTATUS RegCloseKey(HKEY hKey);

/// Sets a value; REG_SZ data is UTF-16 with its terminator, cbData in bytes.
LSTATUS RegSetValueExW(HKEY hKey, const char16_t* valueName, DWORD reserved, DWORD type,
                       const BYTE* data, DWORD cbData);
/// Reads a value by the two-call protocol; `type`, `data` and `cbData` may
/// each be null (data needs cbData).
LSTATUS RegQueryValueExW(HKEY hKey, const char16_t* valueName, DWORD* reserved, DWORD* type,
                         BYTE* data, DWORD* cbData);
LSTATUS RegDeleteValueW(HKEY hKey, const char16_t* valueName);

/// Deletes `subKey`, which must have no subkeys (ERROR_ACCESS_DENIED).
LSTATUS RegDeleteKeyW(HKEY hKey, const char16_t* subKey);
/// Deletes `subKey` with everything below it; with a null `subKey`, the
/// subkeys and values of `hKey` itself, keeping the key.
LSTATUS RegDeleteTreeW(HKEY hKey, const char16_t* subKey);

/// The name of subkey `index` in A-Z order without regard to case;
/// ERROR_NO_MORE_ITEMS past the last. `cchName` holds the buffer size in
/// units and receives the name's length without the terminator.
LSTATUS RegEnumKeyExW(HKEY hKey, DWORD index, char16_t* name, DWORD* cchName, DWORD* reserved,
                      char16_t* keyClass, DWORD* cchClass, FILETIME* lastWriteTime);
/// The name, type and data of value `index`, in the order the values were
/// first set; sizes as for RegEnumKeyExW and RegQueryValueExW.
LSTATUS RegEnumValueW(HKEY hKey, DWORD index, char16_t* valueName, DWORD* cchValueName,
                      DWORD* reserved, DWORD* type, BYTE* data, DWORD* cbData);

// Type filters of RegGetValueW.
constexpr DWORD RRF_RT_REG_SZ = 0x00000002;
constexpr DWORD RRF_RT_REG_DWORD = 0x00000010;
constexpr DWORD RRF_RT_ANY = 0x0000FFFF;

/// Sets a value of `subKey`, creating the key, in one step.
LSTATUS RegSetKeyValueW(HKEY hKey, const char16_t* subKey, const char16_t* valueName, DWORD type,
                        const void* data, DWORD cbData);
/// Reads a value of `subKey` whose type passes `flags` (RRF_RT_*), by the
/// two-call protocol; another type gives ERROR_UNSUPPORTED_TYPE.
LSTATUS RegGetValueW(HKEY hKey, const char16_t* subKey, const char16_t* value, DWORD flags,
                     DWORD* type, void* data, DWORD* cbData);

// Text helpers over the calls above.

/// Sets REG_SZ `valueName` (null: the default value) of `subKey`.
LSTATUS RegSetString(HKEY hKey, std::u16string_view subKey, const char16_t* valueName,
                     std::u16string_view text);
/// The REG_SZ value without its terminator, or nothing (`status` tells why).
std::optional<std::u16string> RegGetString(HKEY hKey, std::u16string_view subKey,
                                           const char16_t* valueName, LSTATUS* status = nullptr);
/// The names of the subkeys of `subKey`, in order; empty when it has none
/// or does not exist.
std::vector<std::u16string> RegSubkeyNames(HKEY hKey, std::u16string_view subKey);

/// The store's file for the current environment; empty when there is no
/// place for it (neither XDG_DATA_HOME nor HOME is usable).
std::string RegistryFilePath();
