// SPDX-License-Identifier: Apache-2.0
#include "module/ModuleTest.h"

#include "platform/text/Utf8.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>

namespace {

void Walk(const std::u16string& path, std::vector<std::string>& out) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    char16_t name[256];
    char16_t text[512];
    DWORD index = 0;
    DWORD type = REG_SZ;
    for (DWORD length = 256, size = sizeof text;
         RegEnumValueW(key, index, name, &length, nullptr, &type, reinterpret_cast<BYTE*>(text),
                       &size) == ERROR_SUCCESS;
         ++index, length = 256, size = sizeof text) {
        EXPECT_EQ(type, REG_SZ);
        out.push_back(Utf16ToUtf8(std::u16string(path)
                                      .append(u"|")
                                      .append(name, length)
                                      .append(u"=")
                                      .append(text, size / 2 - 1)));
    }
    RegCloseKey(key);
    const std::vector<std::u16string> subkeys = RegSubkeyNames(HKEY_CLASSES_ROOT, path);
    if (index == 0 && subkeys.empty()) {
        out.push_back(Utf16ToUtf8(path));
    }
    for (const std::u16string& subkey : subkeys) {
        Walk(path.empty() ? subkey : std::u16string(path).append(u"\\").append(subkey), out);
    }
}

} // namespace

void ModuleTest::SetUp() {
    const char* module = std::getenv("DRAVIK_MODULE");
    ASSERT_NE(module, nullptr) << "DRAVIK_MODULE names the built module";
    char resolved[PATH_MAX];
    ASSERT_NE(::realpath(module, resolved), nullptr);
    m_module = resolved;
    m_home = (std::filesystem::temp_directory_path() /
              ("dravik-module-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name()))
                 .string();
    for (const char* variable : {"XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME"}) {
        ::setenv(variable, (m_home + "/" + variable).c_str(), 1);
    }
    Fault("");
}

void ModuleTest::TearDown() {
    Fault("");
    CoFreeUnusedLibraries();
    EXPECT_FALSE(IsLoaded()) << "the module is unloaded when nothing holds it";
    std::filesystem::remove_all(m_home);
}

HRESULT ModuleTest::Call(const char* entry) const {
    const HMODULE module = LoadLibraryW(Utf8ToUtf16(m_module).c_str());
    if (module == nullptr) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    auto proc = reinterpret_cast<DllRegisterServerProc>(GetProcAddress(module, entry));
    const HRESULT hr = proc != nullptr ? proc() : E_UNEXPECTED;
    FreeLibrary(module);
    return hr;
}

bool ModuleTest::IsLoaded() const {
    void* handle = ::dlopen(m_module.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) {
        ::dlclose(handle);
    }
    return handle != nullptr;
}

std::vector<std::string> ModuleTest::Dump() {
    std::vector<std::string> out;
    Walk(u"", out);
    std::sort(out.begin(), out.end());
    return out;
}

void ModuleTest::Fault(const std::string& steps) {
    if (steps.empty()) {
        ::unsetenv("DRAVIK_FAULT");
    } else {
        ::setenv("DRAVIK_FAULT", steps.c_str(), 1);
    }
}
