// SPDX-License-Identifier: Apache-2.0
#include "framework/com/Registry.h"

#include "framework/com/RegistryStore.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_set>

// A key handle names its key by path, so that it stays meaningful across
// calls that each open the store afresh.
struct HKEY__ {
    registry::KeyPath path;
};

const HKEY HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(std::uintptr_t{0x80000000});

namespace {

using registry::KeyPath;
using registry::Store;

struct OpenKeys {
    std::mutex mutex;
    std::unordered_set<HKEY> keys;
};

OpenKeys& TheOpenKeys() {
    static OpenKeys open;
    return open;
}

/// The path of an open key or the root; nothing for an unknown handle.
std::optional<KeyPath> PathOf(HKEY hKey) {
    if (hKey == HKEY_CLASSES_ROOT) {
        return KeyPath{};
    }
    OpenKeys& open = TheOpenKeys();
    const std::lock_guard lock(open.mutex);
    if (open.keys.count(hKey) == 0) {
        return std::nullopt;
    }
    return hKey->path;
}

HKEY NewHandle(KeyPath path) {
    HKEY key = new HKEY__{std::move(path)};
    OpenKeys& open = TheOpenKeys();
    const std::lock_guard lock(open.mutex);
    open.keys.insert(key);
    return key;
}

/// `base` extended by the backslash-separated names of `subKey`. Empty
/// names (a leading, trailing or doubled backslash) and names longer than
/// a key name may be make the path unusable.
bool AppendSubKey(KeyPath& base, const char16_t* subKey) {
    if (subKey == nullptr || *subKey == 0) {
        return true;
    }
    std::u16string_view rest(subKey);
    while (true) {
        const std::size_t slash = rest.find(u'\\');
        const std::u16string_view name = rest.substr(0, slash);
        if (name.empty() || name.size() > kMaxKeyNameLength) {
            return false;
        }
        base.emplace_back(name);
        if (slash == std::u16string_view::npos) {
            return true;
        }
        rest.remove_prefix(slash + 1);
    }
}

std::u16string ValueName(const char16_t* name) {
    return name != nullptr ? std::u16string(name) : std::u16string();
}

/// Runs `work` on the store inside one transaction, committed when it
/// succeeded and the call writes.
template <class Work> LSTATUS WithStore(registry::Access access, Work&& work) {
    const bool forWrite = access != registry::Access::Read;
    std::unique_ptr<Store> store;
    LSTATUS status = Store::Open(access, store);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    status = work(*store);
    if (status == ERROR_SUCCESS && forWrite && !store->Commit()) {
        return ERROR_CANTWRITE;
    }
    return status;
}

/// The path of `hKey`\`subKey` into `path`, and the length of `hKey`'s own
/// path into `below`; ERROR_SUCCESS or the error to return.
LSTATUS SubKeyPath(HKEY hKey, const char16_t* subKey, KeyPath& path, std::size_t& below) {
    std::optional<KeyPath> base = PathOf(hKey);
    if (!base) {
        return ERROR_INVALID_HANDLE;
    }
    below = base->size();
    path = std::move(*base);
    return AppendSubKey(path, subKey) ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
}

/// Runs `work` with the id of the key `hKey`\`subKey`.
template <class Work>
LSTATUS WithKey(HKEY hKey, const char16_t* subKey, registry::Access access, Work&& work) {
    KeyPath path;
    std::size_t below = 0;
    if (const LSTATUS status = SubKeyPath(hKey, subKey, path, below); status != ERROR_SUCCESS) {
        return status;
    }
    const bool isSubKey = subKey != nullptr && *subKey != 0;
    return WithStore(access, [&](Store& store) -> LSTATUS {
        const std::optional<std::int64_t> key = store.FindKey(path);
        if (!key) {
            // An open key that went away is told apart from a missing subkey.
            return isSubKey || path.empty() ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
        }
        return work(store, *key, path);
    });
}

/// Whether the key an open handle names (the first `handleDepth` names of
/// `path`) still exists; the root always does. Creating below a key that
/// another call deleted must not bring it back.
bool KeyStillThere(Store& store, const KeyPath& path, std::size_t handleDepth) {
    if (handleDepth == 0) {
        return true;
    }
    return store
        .FindKey(KeyPath(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(handleDepth)))
        .has_value();
}

} // namespace

LSTATUS RegCreateKeyExW(HKEY hKey, const char16_t* subKey, DWORD, char16_t*, DWORD, REGSAM, void*,
                        HKEY* phkResult, DWORD* lpdwDisposition) {
    if (phkResult == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    KeyPath path;
    std::size_t below = 0;
    if (const LSTATUS status = SubKeyPath(hKey, subKey, path, below); status != ERROR_SUCCESS) {
        return status;
    }
    bool created = false;
    const LSTATUS status = WithStore(registry::Access::Write, [&](Store& store) -> LSTATUS {
        if (!KeyStillThere(store, path, below)) {
            return ERROR_KEY_DELETED;
        }
        return store.CreateKey(path, created) ? ERROR_SUCCESS : ERROR_CANTWRITE;
    });
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (lpdwDisposition != nullptr) {
        *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }
    *phkResult = NewHandle(std::move(path));
    return ERROR_SUCCESS;
}

LSTATUS RegOpenKeyExW(HKEY hKey, const char16_t* subKey, DWORD, REGSAM, HKEY* phkResult) {
    if (phkResult == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    KeyPath opened;
    const LSTATUS status = WithKey(hKey, subKey, registry::Access::Read,
                                   [&](Store&, std::int64_t, KeyPath& path) -> LSTATUS {
                                       opened = std::move(path);
                                       return ERROR_SUCCESS;
                                   });
    if (status == ERROR_SUCCESS) {
        *phkResult = NewHandle(std::move(opened));
    }
    return status;
}

LSTATUS RegCloseKey(HKEY hKey) {
    if (hKey == HKEY_CLASSES_ROOT) {
        return ERROR_SUCCESS;
    }
    OpenKeys& open = TheOpenKeys();
    const std::lock_guard lock(open.mutex);
    if (open.keys.erase(hKey) == 0) {
        return ERROR_INVALID_HANDLE;
    }
    delete hKey;
    return ERROR_SUCCESS;
}

LSTATUS RegDeleteKeyW(HKEY hKey, const char16_t* subKey) {
    return WithKey(hKey, subKey, registry::Access::Remove,
                   [&](Store& store, std::int64_t key, const KeyPath& path) -> LSTATUS {
                       if (path.empty() || store.HasSubkeys(key)) {
                           return ERROR_ACCESS_DENIED;
                       }
                       return store.DeleteKey(key) ? ERROR_SUCCESS : ERROR_CANTWRITE;
                   });
}

LSTATUS RegDeleteTreeW(HKEY hKey, const char16_t* subKey) {
    const bool keepKey = subKey == nullptr || *subKey == 0;
    return WithKey(hKey, subKey, registry::Access::Remove,
                   [&](Store& store, std::int64_t key, const KeyPath&) -> LSTATUS {
                       const bool done = keepKey ? store.ClearKey(key) : store.DeleteKey(key);
                       return done ? ERROR_SUCCESS : ERROR_CANTWRITE;
                   });
}

LSTATUS RegSetString(HKEY hKey, std::u16string_view subKey, const char16_t* valueName,
                     std::u16string_view text) {
    KeyPath path;
    std::size_t below = 0;
    const std::u16string key(subKey);
    if (const LSTATUS status = SubKeyPath(hKey, key.c_str(), path, below);
        status != ERROR_SUCCESS) {
        return status;
    }
    // Kept with its terminator, as a REG_SZ value is.
    registry::Value value{ValueName(valueName), REG_SZ, {}};
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    value.data.assign(bytes, bytes + text.size() * sizeof(char16_t));
    value.data.insert(value.data.end(), sizeof(char16_t), 0);
    return WithStore(registry::Access::Write, [&](Store& store) -> LSTATUS {
        if (!KeyStillThere(store, path, below)) {
            return ERROR_KEY_DELETED;
        }
        bool created = false;
        const std::optional<std::int64_t> id = store.CreateKey(path, created);
        return id && store.SetValue(*id, value) ? ERROR_SUCCESS : ERROR_CANTWRITE;
    });
}

std::optional<std::u16string> RegGetString(HKEY hKey, std::u16string_view subKey,
                                           const char16_t* valueName, LSTATUS* status) {
    const std::u16string key(subKey);
    std::u16string text;
    const LSTATUS result =
        WithKey(hKey, key.c_str(), registry::Access::Read,
                [&](Store& store, std::int64_t id, const KeyPath&) -> LSTATUS {
                    const std::optional<registry::Value> found =
                        store.GetValue(id, ValueName(valueName));
                    if (!found) {
                        return ERROR_FILE_NOT_FOUND;
                    }
                    if (found->type != REG_SZ) {
                        return ERROR_UNSUPPORTED_TYPE;
                    }
                    text.resize(found->data.size() / sizeof(char16_t));
                    std::memcpy(text.data(), found->data.data(), text.size() * sizeof(char16_t));
                    return ERROR_SUCCESS;
                });
    if (status != nullptr) {
        *status = result;
    }
    if (result != ERROR_SUCCESS) {
        return std::nullopt;
    }
    // A value written with its terminator reads back without it.
    while (!text.empty() && text.back() == 0) {
        text.pop_back();
    }
    return text;
}

std::vector<std::u16string> RegSubkeyNames(HKEY hKey, std::u16string_view subKey) {
    std::vector<std::u16string> names;
    const std::u16string key(subKey);
    WithKey(hKey, key.c_str(), registry::Access::Read,
            [&](Store& store, std::int64_t id, const KeyPath&) {
                for (DWORD index = 0;; ++index) {
                    std::optional<std::u16string> name = store.SubkeyAt(id, index);
                    if (!name) {
                        return ERROR_SUCCESS;
                    }
                    names.push_back(std::move(*name));
                }
            });
    return names;
}
