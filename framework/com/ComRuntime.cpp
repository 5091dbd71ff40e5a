// SPDX-License-Identifier: Apache-2.0
#include "framework/com/ComRuntime.h"

#include "framework/com/CategoryManager.h"
#include "framework/com/ModuleLoader.h"
#include "framework/com/Registry.h"
#include "platform/kernel/FaultInjection.h"
#include "platform/text/Utf8.h"

#include <map>
#include <mutex>

namespace {

/// Modules loaded for class objects, by path, each holding one load.
struct ServerModules {
    // Recursive: a module's start or stop may create objects of its own.
    std::recursive_mutex mutex;
    std::map<std::u16string, HMODULE> modules;
};

ServerModules& TheServers() {
    static ServerModules servers;
    return servers;
}

/// The loaded module for `path`, loading it on first use.
HRESULT ServerModule(const std::u16string& path, HMODULE& module) {
    ServerModules& servers = TheServers();
    const std::lock_guard lock(servers.mutex);
    auto found = servers.modules.find(path);
    if (found != servers.modules.end()) {
        module = found->second;
        return S_OK;
    }
    module = LoadLibraryW(path.c_str());
    if (module == nullptr) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    servers.modules.emplace(path, module);
    return S_OK;
}

} // namespace

std::u16string InprocServerKey(REFCLSID clsid) {
    return u"CLSID\\" + GuidToString(clsid) + u"\\InprocServer32";
}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void*, REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if ((dwClsContext & CLSCTX_INPROC_SERVER) == 0) {
        return REGDB_E_CLASSNOTREG;
    }
    if (rclsid == CLSID_StdComponentCategoriesMgr) {
        return GetCategoriesManagerClassObject(riid, ppv);
    }
    LSTATUS status = ERROR_SUCCESS;
    const std::optional<std::u16string> path =
        RegGetString(HKEY_CLASSES_ROOT, InprocServerKey(rclsid), nullptr, &status);
    if (!path || path->empty()) {
        return status == ERROR_CANTREAD ? REGDB_E_READREGDB : REGDB_E_CLASSNOTREG;
    }
    HMODULE module = nullptr;
    const HRESULT loaded = ServerModule(*path, module);
    if (FAILED(loaded)) {
        return loaded;
    }
    auto getClassObject =
        reinterpret_cast<DllGetClassObjectProc>(GetProcAddress(module, "DllGetClassObject"));
    if (getClassObject == nullptr) {
        return CO_E_ERRORINDLL;
    }
    return getClassObject(rclsid, riid, ppv);
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (FaultInjected("CoCreateInstance:" + Utf16ToUtf8(GuidToString(rclsid)))) {
        return REGDB_E_CLASSNOTREG;
    }
    CComPtr<IClassFactory> factory;
    const HRESULT hr =
        CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory, factory.Receive());
    if (FAILED(hr)) {
        return hr;
    }
    return factory->CreateInstance(pUnkOuter, riid, ppv);
}

void CoFreeUnusedLibraries() {
    ServerModules& servers = TheServers();
    const std::lock_guard lock(servers.mutex);
    for (auto it = servers.modules.begin(); it != servers.modules.end();) {
        auto canUnload =
            reinterpret_cast<DllCanUnloadNowProc>(GetProcAddress(it->second, "DllCanUnloadNow"));
        if (canUnload == nullptr || canUnload() != S_OK) {
            ++it;
            continue;
        }
        const HMODULE module = it->second;
        it = servers.modules.erase(it);
        FreeLibrary(module);
    }
}

HRESULT CLSIDFromProgID(const char16_t* progId, CLSID* clsid) {
    if (progId == nullptr || clsid == nullptr) {
        return E_INVALIDARG;
    }
    const std::optional<std::u16string> text =
        RegGetString(HKEY_CLASSES_ROOT, std::u16string(progId) + u"\\CLSID", nullptr);
    if (!text) {
        return CO_E_CLASSSTRING;
    }
    const std::optional<GUID> guid = GuidFromString(*text);
    if (!guid) {
        return CO_E_CLASSSTRING;
    }
    *clsid = *guid;
    return S_OK;
}
