// SPDX-License-Identifier: Apache-2.0
#include "framework/ui/ResourceTable.h"

#include <dlfcn.h>

#include <mutex>
#include <utility>
#include <vector>

namespace {

struct Registry {
    std::mutex lock;
    std::vector<std::pair<HINSTANCE, ModuleResources>> tables;
};

Registry& Tables() {
    static Registry registry;
    return registry;
}

// A copy of the table, so that a look-up does not hold the lock while the
// caller reads the (static, immutable) data it points at.
bool TableOf(HINSTANCE module, ModuleResources& out) {
    Registry& registry = Tables();
    const std::scoped_lock guard(registry.lock);
    for (const auto& [handle, table] : registry.tables) {
        if (handle == module) {
            out = table;
            return true;
        }
    }
    return false;
}

} // namespace

HINSTANCE AfxRegisterResources(const ModuleResources& resources) {
    Dl_info info{};
    if (::dladdr(&resources, &info) == 0 || info.dli_fbase == nullptr) {
        return nullptr;
    }
    const auto module = static_cast<HINSTANCE>(info.dli_fbase);
    Registry& registry = Tables();
    const std::scoped_lock guard(registry.lock);
    for (auto& [handle, table] : registry.tables) {
        if (handle == module) {
            table = resources;
            return module;
        }
    }
    registry.tables.emplace_back(module, resources);
    return module;
}

void AfxUnregisterResources(HINSTANCE module) {
    Registry& registry = Tables();
    const std::scoped_lock guard(registry.lock);
    std::erase_if(registry.tables, [module](const auto& entry) { return entry.first == module; });
}

const DialogTemplate* FindDialogTemplate(HINSTANCE module, int id) {
    ModuleResources table;
    if (module == nullptr || !TableOf(module, table)) {
        return nullptr;
    }
    for (const DialogTemplate& dialog : table.dialogs) {
        if (dialog.id == id) {
            return &dialog;
        }
    }
    return nullptr;
}

const char16_t* LoadResourceString(HINSTANCE module, int id) {
    ModuleResources table;
    if (module == nullptr || !TableOf(module, table)) {
        return nullptr;
    }
    for (const StringResource& entry : table.strings) {
        if (entry.id == id) {
            return entry.text;
        }
    }
    return nullptr;
}
