// SPDX-License-Identifier: Apache-2.0
// Loading modules (shared libraries) the way the platform's loader does.
//
// A module is known by its HMODULE, the address it is mapped at. Loading a
// control module also starts it: the module object that the library
// constructs while it loads (COleControlModule) gets its InitInstance run
// once the library is in; when that refuses, its ExitInstance runs, the
// library is unloaded again and the load fails with ERROR_DLL_INIT_FAILED,
// as a library whose start-up routine fails does. Loads are counted; the
// last FreeLibrary runs ExitInstance and unloads the library.
#pragma once

#include "platform/kernel/WinTypes.h"

#include <string>

class COleControlModule;

/// Loads the module at `fileName` (a path) and starts it. Null on failure,
/// with the last error ERROR_MOD_NOT_FOUND (no such file),
/// ERROR_BAD_EXE_FORMAT (not a loadable module, or the module of another
/// version of dravik than this runtime: GetModuleLoadError says
/// why) or ERROR_DLL_INIT_FAILED (the module refused to start).
HMODULE LoadLibraryW(const char16_t* fileName);
/// Undoes one LoadLibraryW; FALSE for a module this loader did not load.
BOOL FreeLibrary(HMODULE hModule);
/// An exported function of a module loaded by LoadLibraryW, or null
/// (ERROR_PROC_NOT_FOUND).
void* GetProcAddress(HMODULE hModule, const char* procName);

constexpr DWORD GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT = 0x2;
constexpr DWORD GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS = 0x4;

/// The module that holds `address` (with FROM_ADDRESS; loads are not
/// counted). FALSE when no loaded module holds it.
BOOL GetModuleHandleExW(DWORD flags, const void* address, HMODULE* phModule);

/// The system loader's words for the last failed load on this thread.
std::string GetModuleLoadError();

/// The full path of `hModule`, or of the program itself for null, as
/// UTF-16; empty on failure.
std::u16string ModuleFilePath(HMODULE hModule);

namespace loader {
/// Told by a module object while its library loads, and when it goes.
void NoteModuleObject(COleControlModule* module);
void ForgetModuleObject(COleControlModule* module);
} // namespace loader
