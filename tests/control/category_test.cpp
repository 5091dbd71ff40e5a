// SPDX-License-Identifier: Apache-2.0
// Component categories written through the platform's manager.
#include "control/CategoryHelpers.h"
#include "framework/com/Registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

TEST(ComponentCategory, DescriptionsAreCutTo127UnitsAndClassesMarked) {
    std::string home = (std::filesystem::temp_directory_path() / "dravik-cat-XXXXXX").string();
    ASSERT_NE(::mkdtemp(home.data()), nullptr);
    ::setenv("XDG_DATA_HOME", home.c_str(), 1);
    const CATID catid = {0x11111111, 0x2222, 0x3333, {4, 4, 4, 4, 4, 4, 4, 4}};
    const CLSID clsid = {0x55555555, 0x6666, 0x7777, {8, 8, 8, 8, 8, 8, 8, 8}};
    const std::u16string description = std::u16string(126, u'x') + u"yz!";
    ASSERT_EQ(CreateComponentCategory(catid, description.c_str()), S_OK);
    EXPECT_EQ(RegGetString(HKEY_CLASSES_ROOT,
                           u"Component Categories\\{11111111-2222-3333-0404-040404040404}", u"409"),
              description.substr(0, 127));
    ASSERT_EQ(CreateComponentCategory(catid, u"short"), S_OK);
    EXPECT_EQ(RegGetString(HKEY_CLASSES_ROOT,
                           u"Component Categories\\{11111111-2222-3333-0404-040404040404}", u"409"),
              u"short");
    ASSERT_EQ(RegisterCLSIDInCategory(clsid, catid), S_OK);
    EXPECT_EQ(RegSubkeyNames(HKEY_CLASSES_ROOT,
                             u"CLSID\\{55555555-6666-7777-0808-080808080808}\\Implemented "
                             u"Categories"),
              std::vector<std::u16string>{u"{11111111-2222-3333-0404-040404040404}"});
    ::setenv("DRAVIK_FAULT", "CoCreateInstance:{0002E005-0000-0000-C000-000000000046}", 1);
    EXPECT_EQ(CreateComponentCategory(catid, u"other"), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(RegisterCLSIDInCategory(clsid, catid), REGDB_E_CLASSNOTREG);
    ::unsetenv("DRAVIK_FAULT");
    ::unsetenv("XDG_DATA_HOME");
    std::filesystem::remove_all(home);
}
