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
template <class Work> LSTATUS WithStore(bool forWrite, Work&& work) {
    std::unique_ptr<Store> store;
    LSTATUS status = Store::Open(forWrite, store);
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
LSTATUS WithKey(HKEY hKey, const char16_t* subKey, bool forWrite, Work&& work) {
    KeyPath path;
    std::size_t below = 0;
    if (const LSTATUS status = SubKeyPath(hKey, subKey, path, below); status != ERROR_SUCCESS) {
        return status;
    }
    const bool isSubKey = subKey != nullptr && *subKey != 0;
    return WithStore(forWrite, [&](Store& store) -> LSTATUS {
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

/// Copies `data` to the caller's buffer by the two-call protocol.
LSTATUS CopyOut(const std::vector<std::uint8_t>& data, BYTE* out, DWORD* cbOut) {
    const auto size = static_cast<DWORD>(data.size());
    if (cbOut == nullptr) {
        return out == nullptr ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
    }
    const DWORD room = *cbOut;
    *cbOut = size;
    if (out == nullptr) {
        return ERROR_SUCCESS;
    }
    if (room < size) {
        return ERROR_MORE_DATA;
    }
    if (size != 0) {
        std::memcpy(out, data.data(), size);
    }
    return ERROR_SUCCESS;
}

/// Copies a name to the caller's buffer of `*cch` units, terminator included.
LSTATUS CopyName(const std::u16string& name, char16_t* out, DWORD* cch) {
    if (out == nullptr || cch == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (*cch <= name.size()) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(out, name.data(), name.size() * sizeof(char16_t));
    out[name.size()] = 0;
    *cch = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
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
    const LSTATUS status = WithStore(true, [&](Store& store) -> LSTATUS {
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
    const LSTATUS status =
        WithKey(hKey, subKey, false, [&](Store&, std::int64_t, KeyPath& path) -> LSTATUS {
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

LSTATUS RegSetValueExW(HKEY hKey, const char16_t* valueName, DWORD, DWORD type, const BYTE* data,
                       DWORD cbData) {
    if (data == nullptr && cbData != 0) {
        return ERROR_INVALID_PARAMETER;
    }
    registry::Value value{ValueName(valueName), type, {}};
    if (cbData != 0) {
        value.data.assign(data, data + cbData);
    }
    return WithKey(hKey, nullptr, true,
                   [&](Store& store, std::int64_t key, const KeyPath&) -> LSTATUS {
                       return store.SetValue(key, value) ? ERROR_SUCCESS : ERROR_CANTWRITE;
                   });
}

LSTATUS RegQueryValueExW(HKEY hKey, const char16_t* valueName, DWORD*, DWORD* type, BYTE* data,
                         DWORD* cbData) {
    return WithKey(
        hKey, nullptr, false, [&](Store& store, std::int64_t key, const KeyPath&) -> LSTATUS {
            const std::optional<registry::Value> value = store.GetValue(key, ValueName(valueName));
            if (!value) {
                return ERROR_FILE_NOT_FOUND;
            }
            if (type != nullptr) {
                *type = value->type;
            }
            return CopyOut(value->data, data, cbData);
        });
}

LSTATUS RegDeleteValueW(HKEY hKey, const char16_t* valueName) {
    return WithKey(
        hKey, nullptr, true, [&](Store& store, std::int64_t key, const KeyPath&) -> LSTATUS {
            bool failed = false;
            const bool deleted = store.DeleteValue(key, ValueName(valueName), failed);
            return failed ? ERROR_CANTWRITE : deleted ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
        });
}

LSTATUS RegDeleteKeyW(HKEY hKey, const char16_t* subKey) {
    return WithKey(hKey, subKey, true,
                   [&](Store& store, std::int64_t key, const KeyPath& path) -> LSTATUS {
                       if (path.empty() || store.HasSubkeys(key)) {
                           return ERROR_ACCESS_DENIED;
                       }
                       return store.DeleteKey(key) ? ERROR_SUCCESS : ERROR_CANTWRITE;
                   });
}

LSTATUS RegDeleteTreeW(HKEY hKey, const char16_t* subKey) {
    const bool keepKey = subKey == nullptr || *subKey == 0;
    return WithKey(hKey, subKey, true,
                   [&](Store& store, std::int64_t key, const KeyPath&) -> LSTATUS {
                       const bool done = keepKey ? store.ClearKey(key) : store.DeleteKey(key);
                       return done ? ERROR_SUCCESS : ERROR_CANTWRITE;
                   });
}

LSTATUS RegEnumKeyExW(HKEY hKey, DWORD index, char16_t* name, DWORD* cchName, DWORD*, char16_t*,
                      DWORD*, FILETIME*) {
    return WithKey(hKey, nullptr, false,
                   [&](Store& store, std::int64_t key, const KeyPath&) -> LSTATUS {
                       const std::optional<std::u16string> subkey = store.SubkeyAt(key, index);
                       return subkey ? CopyName(*subkey, name, cchName) : ERROR_NO_MORE_ITEMS;
                   });
}

LSTATUS RegEnumValueW(HKEY hKey, DWORD index, char16_t* valueName, DWORD* cchValueName, DWORD*,
                      DWORD* type, BYTE* data, DWORD* cbData) {
    return WithKey(hKey, nullptr, false,
                   [&](Store& store, std::int64_t key, const KeyPath&) -> LSTATUS {
                       const std::optional<registry::Value> value = store.ValueAt(key, index);
                       if (!value) {
                           return ERROR_NO_MORE_ITEMS;
                       }
                       const LSTATUS named = CopyName(value->name, valueName, cchValueName);
                       if (named != ERROR_SUCCESS) {
                           return named;
                       }
                       if (type != nullptr) {
                           *type = value->type;
                       }
                       return CopyOut(value->data, data, cbData);
                   });
}

LSTATUS RegSetKeyValueW(HKEY hKey, const char16_t* subKey, const char16_t* valueName, DWORD type,
                        const void* data, DWORD cbData) {
    if (data == nullptr && cbData != 0) {
        return ERROR_INVALID_PARAMETER;
    }
    KeyPath path;
    std::size_t below = 0;
    if (const LSTATUS status = SubKeyPath(hKey, subKey, path, below); status != ERROR_SUCCESS) {
        return status;
    }
    registry::Value value{ValueName(valueName), type, {}};
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (cbData != 0) {
        value.data.assign(bytes, bytes + cbData);
    }
    return WithStore(true, [&](Store& store) -> LSTATUS {
        if (!KeyStillThere(store, path, below)) {
            return ERROR_KEY_DELETED;
        }
        bool created = false;
        const std::optional<std::int64_t> key = store.CreateKey(path, created);
        return key && store.SetValue(*key, value) ? ERROR_SUCCESS : ERROR_CANTWRITE;
    });
}

LSTATUS RegGetValueW(HKEY hKey, const char16_t* subKey, const char16_t* value, DWORD flags,
                     DWORD* type, void* data, DWORD* cbData) {
    return WithKey(
        hKey, subKey, false, [&](Store& store, std::int64_t key, const KeyPath&) -> LSTATUS {
            const std::optional<registry::Value> found = store.GetValue(key, ValueName(value));
            if (!found) {
                return ERROR_FILE_NOT_FOUND;
            }
            const DWORD allowed = found->type == REG_SZ      ? RRF_RT_REG_SZ
                                  : found->type == REG_DWORD ? RRF_RT_REG_DWORD
                                                             : RRF_RT_ANY;
            if ((flags & allowed) == 0 || (allowed == RRF_RT_ANY && flags != RRF_RT_ANY)) {
                return ERROR_UNSUPPORTED_TYPE;
            }
            if (type != nullptr) {
                *type = found->type;
            }
            return CopyOut(found->data, static_cast<BYTE*>(data), cbData);
        });
}

LSTATUS RegSetString(HKEY hKey, std::u16string_view subKey, const char16_t* valueName,
                     std::u16string_view text) {
    const std::u16string key(subKey);
    const std::u16string terminated(text);
    return RegSetKeyValueW(hKey, key.c_str(), valueName, REG_SZ, terminated.c_str(),
                           static_cast<DWORD>((terminated.size() + 1) * sizeof(char16_t)));
}

std::optional<std::u16string> RegGetString(HKEY hKey, std::u16string_view subKey,
                                           const char16_t* valueName, LSTATUS* status) {
    const std::u16string key(subKey);
    std::u16string text;
    DWORD size = 0;
    LSTATUS result =
        RegGetValueW(hKey, key.c_str(), valueName, RRF_RT_REG_SZ, nullptr, nullptr, &size);
    // The value may grow between the calls; then ask again with its new size.
    while (result == ERROR_SUCCESS) {
        std::vector<char16_t> buffer(size / sizeof(char16_t) + 1);
        DWORD room = static_cast<DWORD>(buffer.size() * sizeof(char16_t));
        result = RegGetValueW(hKey, key.c_str(), valueName, RRF_RT_REG_SZ, nullptr, buffer.data(),
                              &room);
        if (result == ERROR_SUCCESS) {
            text.assign(buffer.data(), room / sizeof(char16_t));
            break;
        }
        if (result == ERROR_MORE_DATA) {
            size = room;
            result = ERROR_SUCCESS;
        }
    }
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
    const std::u16string path(subKey);
    HKEY key = nullptr;
    if (RegOpenKeyExW(hKey, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return names;
    }
    char16_t name[kMaxKeyNameLength + 1];
    for (DWORD index = 0;; ++index) {
        DWORD length = kMaxKeyNameLength + 1;
        if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name, length);
    }
    RegCloseKey(key);
    return names;
}
