// SPDX-License-Identifier: Apache-2.0
// The registry store through its Windows calls: keys, text values, deletion
// rules and enumeration. What registration writes and
// removes, and that processes share the store whole, is proven by the
// module's registration tests.
#include "framework/com/Registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

class Registry : public ::testing::Test {
  protected:
    void SetUp() override {
        ::setenv("XDG_DATA_HOME", m_home.c_str(), 1);
        // Reads of a store that is not there yet make nothing.
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID", 0, KEY_READ, &key),
                  ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(RegGetString(HKEY_CLASSES_ROOT, u"CLSID", nullptr), std::nullopt);
        EXPECT_EQ(RegistryFilePath(), m_home + "/dravik/registry.sqlite");
        EXPECT_FALSE(std::filesystem::exists(RegistryFilePath()));
    }
    void TearDown() override { std::filesystem::remove_all(m_home); }

    static HKEY Create(const char16_t* path, DWORD* disposition = nullptr) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, disposition),
                  ERROR_SUCCESS);
        return key;
    }

    const std::string m_home =
        std::filesystem::temp_directory_path() / ("dravik-registry-" + std::to_string(::getpid()));
};

TEST_F(Registry, ValuesAreTextAndNamesIgnoreCase) {
    DWORD disposition = 0;
    HKEY key = Create(u"A\\B\\C", &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    ASSERT_EQ(RegSetString(key, u"", u"Name", u"value"), ERROR_SUCCESS);
    EXPECT_EQ(RegGetString(HKEY_CLASSES_ROOT, u"a\\b\\c", u"NAME"), u"value");
    LSTATUS status = ERROR_SUCCESS;
    EXPECT_EQ(RegGetString(key, u"", u"Other", &status), std::nullopt);
    EXPECT_EQ(status, ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);

    HKEY again = Create(u"a\\B");
    EXPECT_EQ(RegSubkeyNames(again, u""), std::vector<std::u16string>{u"C"})
        << "a key keeps the case it was made with";
    RegCloseKey(again);
}

TEST_F(Registry, DeletionRules) {
    ASSERT_EQ(RegSetString(HKEY_CLASSES_ROOT, u"Top\\Mid\\Leaf", u"v", u"1"), ERROR_SUCCESS);
    ASSERT_EQ(RegSetString(HKEY_CLASSES_ROOT, u"Top", nullptr, u"default"), ERROR_SUCCESS);
    HKEY leaf = Create(u"Top\\Mid\\Leaf");
    const std::pair<LSTATUS, LSTATUS> cases[] = {
        {RegDeleteKeyW(HKEY_CLASSES_ROOT, u"Top\\Mid"), ERROR_ACCESS_DENIED}, // has subkeys
        {RegDeleteKeyW(HKEY_CLASSES_ROOT, nullptr), ERROR_ACCESS_DENIED},     // the root
        {RegDeleteTreeW(HKEY_CLASSES_ROOT, u"Nowhere"), ERROR_FILE_NOT_FOUND},
        {RegDeleteKeyW(HKEY_CLASSES_ROOT, u"Top\\\\Mid"), ERROR_INVALID_PARAMETER}, // empty name
        {RegDeleteTreeW(HKEY_CLASSES_ROOT, u"Top\\Mid"), ERROR_SUCCESS},
        {RegSetString(leaf, u"", u"v", u"2"), ERROR_KEY_DELETED},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(cases[i].first, cases[i].second) << "case " << i;
    }
    RegCloseKey(leaf);
    EXPECT_EQ(RegGetString(HKEY_CLASSES_ROOT, u"Top", nullptr), u"default");
    EXPECT_TRUE(RegSubkeyNames(HKEY_CLASSES_ROOT, u"Top").empty());
    // A null subkey empties the key but keeps it.
    ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, nullptr), ERROR_SUCCESS);
    EXPECT_TRUE(RegSubkeyNames(HKEY_CLASSES_ROOT, u"").empty());
}

} // namespace
