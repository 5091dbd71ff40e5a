// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/InternetHandles.h"

#include "platform/kernel/LastError.h"

#include <mutex>
#include <unordered_map>

namespace inet {

namespace {

struct Registry {
    std::mutex mutex;
    std::unordered_map<HINTERNET, std::unique_ptr<InternetHandle>> handles;
};

/// Never destroyed: a module that ends with the process (its static
/// destructor closing its session) may still close handles after the
/// statics built later than it are gone. The kernel takes the memory back.
Registry& TheRegistry() {
    static Registry* const registry = new Registry; // NOLINT: outlives every static
    return *registry;
}

} // namespace

HINTERNET RegisterHandle(std::unique_ptr<InternetHandle> handle) {
    Registry& registry = TheRegistry();
    HINTERNET key = handle.get();
    const std::lock_guard lock(registry.mutex);
    registry.handles.emplace(key, std::move(handle));
    return key;
}

InternetHandle* FindHandle(HINTERNET handle) {
    Registry& registry = TheRegistry();
    const std::lock_guard lock(registry.mutex);
    const auto it = registry.handles.find(handle);
    if (it == registry.handles.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return it->second.get();
}

InternetHandle* FindHandleOfKind(HINTERNET handle, HandleKind kind) {
    InternetHandle* found = FindHandle(handle);
    if (found != nullptr && found->Kind() != kind) {
        SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        return nullptr;
    }
    return found;
}

bool ReleaseHandle(HINTERNET handle) {
    std::unique_ptr<InternetHandle> doomed;
    {
        Registry& registry = TheRegistry();
        const std::lock_guard lock(registry.mutex);
        const auto it = registry.handles.find(handle);
        if (it == registry.handles.end()) {
            return false;
        }
        doomed = std::move(it->second);
        registry.handles.erase(it);
    }
    // Destroyed outside the lock: a request may need to tear down a transfer.
    return true;
}

} // namespace inet
