// SPDX-License-Identifier: Apache-2.0
// The registry: a tree of named keys holding named, typed values, where COM
// looks up classes, ProgIDs, type libraries and component categories.
//
// It keeps the Windows calls, names and error codes: keys are opened or
// created under a predefined root (HKEY_CLASSES_ROOT) by a backslash path,
// names compare without regard to A-Z case, and the empty value name is the
// key's default value. Values are written and read as text.
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
[[nodiscard]] LSTATUS RegCreateKeyExW(HKEY hKey, const char16_t* subKey, DWORD reserved,
                                      char16_t* keyClass, DWORD options, REGSAM samDesired,
                                      void* securityAttributes, HKEY* phkResult,
                                      DWORD* lpdwDisposition);
/// Opens an existing key; ERROR_FILE_NOT_FOUND when it does not exist.
[[nodiscard]] LSTATUS RegOpenKeyExW(HKEY hKey, const char16_t* subKey, DWORD options,
                                    REGSAM samDesired, HKEY* phkResult);
LSTATUS RegCloseKey(HKEY hKey);

/// Deletes `subKey`, which must have no subkeys (ERROR_ACCESS_DENIED).
[[nodiscard]] LSTATUS RegDeleteKeyW(HKEY hKey, const char16_t* subKey);
/// Deletes `subKey` with everything below it; with a null `subKey`, the
/// subkeys and values of `hKey` itself, keeping the key.
[[nodiscard]] LSTATUS RegDeleteTreeW(HKEY hKey, const char16_t* subKey);

// Text values, the only kind the registry's users store.

/// Sets REG_SZ `valueName` (null: the default value) of `subKey`.
[[nodiscard]] LSTATUS RegSetString(HKEY hKey, std::u16string_view subKey, const char16_t* valueName,
                                   std::u16string_view text);
/// The REG_SZ value without its terminator, or nothing (`status` tells why).
std::optional<std::u16string> RegGetString(HKEY hKey, std::u16string_view subKey,
                                           const char16_t* valueName, LSTATUS* status = nullptr);
/// The names of the subkeys of `subKey`, in order; empty when it has none
/// or does not exist.
std::vector<std::u16string> RegSubkeyNames(HKEY hKey, std::u16string_view subKey);

/// When the latest call on this thread failed with ERROR_CANTREAD or
/// ERROR_CANTWRITE: the registry's file and the system's words for why
/// ("PATH: reason"). Empty otherwise.
std::string GetLastRegistryFailure();

/// The store's file for the current environment; empty when there is no
/// place for it (neither XDG_DATA_HOME nor HOME is usable).
std::string RegistryFilePath();
