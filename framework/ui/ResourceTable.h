// SPDX-License-Identifier: Apache-2.0
// The resources a module carries (its dialog templates and string table),
// found by the module's handle.
//
// A module registers its table while it is loaded; the dialogs, property
// pages and registration code of the framework look resources up by the
// handle of the module that owns them, so the framework itself holds no
// module's resources. A binary that links a module's code statically (the
// program, the tests) registers its own copy under its own handle.
#pragma once

#include "framework/ui/DialogTemplate.h"
#include "platform/kernel/WinTypes.h"

#include <span>

/// One entry of a string table.
struct StringResource {
    int id;
    const char16_t* text;
};

/// What one module carries.
struct ModuleResources {
    std::span<const DialogTemplate> dialogs;
    std::span<const StringResource> strings;
};

/// Registers `resources` (static data of the module that holds it) under
/// that module's handle, which it returns; null when the address is in no
/// mapped module. Registering a handle again replaces its table.
HINSTANCE AfxRegisterResources(const ModuleResources& resources);
/// Forgets the table of `module`, before its code is unmapped.
void AfxUnregisterResources(HINSTANCE module);

/// The dialog template `id` of `module`, or null.
const DialogTemplate* FindDialogTemplate(HINSTANCE module, int id);
/// The string `id` of `module`'s table, or null.
const char16_t* LoadResourceString(HINSTANCE module, int id);

/// Keeps a module's table registered while it is loaded: a static object of
/// the module constructs one, and its destruction at unload unregisters it.
class CResourceRegistration {
  public:
    explicit CResourceRegistration(const ModuleResources& resources)
        : m_hModule(AfxRegisterResources(resources)) {}
    ~CResourceRegistration() { AfxUnregisterResources(m_hModule); }
    CResourceRegistration(const CResourceRegistration&) = delete;
    CResourceRegistration& operator=(const CResourceRegistration&) = delete;

    /// The module the table was registered under.
    HINSTANCE Handle() const { return m_hModule; }

  private:
    HINSTANCE m_hModule;
};
