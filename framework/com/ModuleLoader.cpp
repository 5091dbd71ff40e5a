// SPDX-License-Identifier: Apache-2.0
#include "framework/com/ModuleLoader.h"

#include "framework/com/ControlModule.h"
#include "platform/kernel/LastError.h"
#include "platform/text/Utf8.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

namespace {

struct LoadedModule {
    void* handle;              ///< from dlopen
    COleControlModule* object; ///< the module object, or null for a plain library
    int loads;
};

struct Loader {
    // Recursive: a module's start or stop may load or free other modules.
    std::recursive_mutex mutex;
    std::map<HMODULE, LoadedModule> modules;
    COleControlModule* constructed = nullptr; ///< told while a library loads
};

Loader& TheLoader() {
    static Loader loader;
    return loader;
}

thread_local std::string t_loadError;

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

/// The address a library is mapped at, found through its dynamic section.
HMODULE BaseOf(void* handle) {
    link_map* map = nullptr;
    Dl_info info{};
    if (::dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr ||
        ::dladdr(map->l_ld, &info) == 0) {
        return nullptr;
    }
    return static_cast<HMODULE>(info.dli_fbase);
}

HMODULE Fail(DWORD error, std::string why) {
    t_loadError = std::move(why);
    SetLastError(error);
    return nullptr;
}

/// The file of the platform runtime this loader is part of.
std::string RuntimePath() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&LoadLibraryW), &info) == 0 || info.dli_fname == nullptr) {
        return "the program's platform runtime";
    }
    const std::string real = RealPath(info.dli_fname);
    return real.empty() ? std::string(info.dli_fname) : real;
}

/// Why a control module may not start in this runtime, or nothing. A
/// module of another installation binds to whichever runtime the process
/// already has; built for another version, it would misread its objects.
std::string VersionMismatch(const COleControlModule& object, const std::string& path) {
    const std::string builtFor = object.m_builtFor != nullptr ? object.m_builtFor : "";
    if (builtFor == DRAVIK_VERSION) {
        return {};
    }
    return path + " is the module of dravik " + builtFor + ", but this process runs " +
           RuntimePath() + " of dravik " + DRAVIK_VERSION +
           "; register the module of this installation";
}

} // namespace

namespace loader {

void NoteModuleObject(COleControlModule* module) {
    Loader& loader = TheLoader();
    const std::lock_guard lock(loader.mutex);
    loader.constructed = module;
}

void ForgetModuleObject(COleControlModule* module) {
    Loader& loader = TheLoader();
    const std::lock_guard lock(loader.mutex);
    if (loader.constructed == module) {
        loader.constructed = nullptr;
    }
}

} // namespace loader

HMODULE LoadLibraryW(const char16_t* fileName) {
    const std::string given = fileName != nullptr ? Utf16ToUtf8(fileName) : std::string();
    const std::string path = RealPath(given);
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return Fail(ERROR_MOD_NOT_FOUND, given + ": no such module file");
    }
    Loader& loader = TheLoader();
    const std::lock_guard lock(loader.mutex);
    loader.constructed = nullptr;
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = ::dlerror();
        return Fail(ERROR_BAD_EXE_FORMAT, why != nullptr ? why : path + ": cannot be loaded");
    }
    COleControlModule* object = std::exchange(loader.constructed, nullptr);
    const HMODULE base = BaseOf(handle);
    auto known = loader.modules.find(base);
    if (known != loader.modules.end()) {
        ++known->second.loads;
        ::dlclose(handle); // the first load's reference is the one kept
        return base;
    }
    if (object != nullptr) {
        std::string mismatch = VersionMismatch(*object, path);
        if (!mismatch.empty()) {
            ::dlclose(handle);
            return Fail(ERROR_BAD_EXE_FORMAT, std::move(mismatch));
        }
    }
    if (object != nullptr && !object->Start()) {
        ::dlclose(handle);
        return Fail(ERROR_DLL_INIT_FAILED, path + ": the module refused to start");
    }
    loader.modules.emplace(base, LoadedModule{handle, object, 1});
    return base;
}

BOOL FreeLibrary(HMODULE hModule) {
    Loader& loader = TheLoader();
    const std::lock_guard lock(loader.mutex);
    auto found = loader.modules.find(hModule);
    if (found == loader.modules.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (--found->second.loads > 0) {
        return TRUE;
    }
    const LoadedModule module = found->second;
    loader.modules.erase(found);
    if (module.object != nullptr) {
        module.object->Stop();
    }
    ::dlclose(module.handle);
    return TRUE;
}

void* GetProcAddress(HMODULE hModule, const char* procName) {
    void* handle = nullptr;
    {
        Loader& loader = TheLoader();
        const std::lock_guard lock(loader.mutex);
        auto found = loader.modules.find(hModule);
        if (found == loader.modules.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        handle = found->second.handle;
    }
    void* proc = ::dlsym(handle, procName);
    if (proc == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
    }
    return proc;
}

BOOL GetModuleHandleExW(DWORD flags, const void* address, HMODULE* phModule) {
    if (phModule == nullptr || (flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Dl_info info{};
    if (::dladdr(address, &info) == 0 || info.dli_fbase == nullptr) {
        *phModule = nullptr;
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    *phModule = static_cast<HMODULE>(info.dli_fbase);
    return TRUE;
}

std::u16string ModuleFilePath(HMODULE hModule) {
    std::string path;
    if (hModule == nullptr) {
        path = RealPath("/proc/self/exe");
    } else {
        Dl_info info{};
        if (::dladdr(hModule, &info) != 0 && info.dli_fname != nullptr &&
            info.dli_fbase == static_cast<void*>(hModule)) {
            path = RealPath(info.dli_fname);
        }
    }
    return Utf8ToUtf16(path);
}

std::string GetModuleLoadError() {
    return t_loadError;
}
