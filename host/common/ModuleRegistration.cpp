// SPDX-License-Identifier: Apache-2.0
#include "host/common/ModuleRegistration.h"

#include "framework/com/ComRuntime.h"
#include "framework/com/ModuleLoader.h"
#include "framework/com/Registry.h"
#include "platform/kernel/LastError.h"
#include "platform/text/Utf8.h"

#include <sys/stat.h>

#include <filesystem>

namespace {

bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

std::string BundledModulePath() {
    const std::string program = Utf16ToUtf8(ModuleFilePath(nullptr));
    const std::string folder = program.substr(0, program.rfind('/'));
    std::string beside = folder + "/libdravik.so";
    const std::string installed = folder + "/../lib/dravik/libdravik.so";
    if (IsFile(beside) || !IsFile(installed)) {
        return beside;
    }
    return std::filesystem::path(installed).lexically_normal().string();
}

bool CallRegistrationEntry(const std::string& modulePath, const char* entry, std::string& error) {
    std::error_code ignored;
    if (std::filesystem::is_directory(modulePath, ignored)) {
        error = modulePath + " is a folder, not a module: name the module file (libdravik.so)";
        return false;
    }
    const HMODULE module = LoadLibraryW(Utf8ToUtf16(modulePath).c_str());
    if (module == nullptr) {
        const DWORD why = GetLastError();
        error = "cannot load the module " + modulePath + " (" +
                DescribeHResult(HRESULT_FROM_WIN32(why)) + ")";
        if (why == ERROR_BAD_EXE_FORMAT) {
            error += ": " + GetModuleLoadError();
        } else if (why == ERROR_DLL_INIT_FAILED) {
            error += ": the control's module opens its internet session when it starts";
        }
        return false;
    }
    auto call = reinterpret_cast<DllRegisterServerProc>(GetProcAddress(module, entry));
    const HRESULT hr = call != nullptr ? call() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    FreeLibrary(module);
    if (FAILED(hr)) {
        error = modulePath + ": " + entry + " failed: " + DescribeHResult(hr);
        if (const std::string registry = GetLastRegistryFailure(); !registry.empty()) {
            error += " (" + registry + ")";
        }
        return false;
    }
    return true;
}

std::optional<std::string> RegistryReadFailure() {
    LSTATUS status = ERROR_SUCCESS;
    RegGetString(HKEY_CLASSES_ROOT, u"CLSID", nullptr, &status);
    if (status == ERROR_CANTREAD) {
        return GetLastRegistryFailure();
    }
    return std::nullopt;
}
