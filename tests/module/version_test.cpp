// SPDX-License-Identifier: Apache-2.0
// A module built as another version of dravik than the process's platform
// runtime (another installation's, found through the registry) is refused
// before it starts, with both files named.
#include "framework/com/ModuleLoader.h"
#include "platform/kernel/LastError.h"
#include "platform/text/Utf8.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

TEST(ModuleVersion, AModuleOfAnotherVersionIsRefusedNamingBothFiles) {
    const std::string other = (std::filesystem::read_symlink("/proc/self/exe").parent_path() /
                               "libdravik_other_version_module.so")
                                  .string();
    EXPECT_EQ(LoadLibraryW(Utf8ToUtf16(other).c_str()), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_BAD_EXE_FORMAT);
    const std::string why = GetModuleLoadError();
    EXPECT_NE(why.find(other), std::string::npos) << why;
    EXPECT_NE(why.find("the module of dravik 0.0.0-other"), std::string::npos) << why;
    EXPECT_NE(why.find("libdravik-platform.so of dravik " DRAVIK_VERSION), std::string::npos)
        << why;

    // The module of this build still loads.
    const char* own = std::getenv("DRAVIK_MODULE");
    ASSERT_NE(own, nullptr);
    const HMODULE loaded = LoadLibraryW(Utf8ToUtf16(own).c_str());
    ASSERT_NE(loaded, nullptr) << GetModuleLoadError();
    EXPECT_TRUE(FreeLibrary(loaded));
}
