// SPDX-License-Identifier: Apache-2.0
// The registry store through its Windows calls: keys, values, the two-call
// protocol, deletion rules and enumeration. What registration writes and
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

TEST_F(Registry, ValuesFollowTheTwoCallProtocolAndNamesIgnoreCase) {
    DWORD disposition = 0;
    HKEY key = Create(u"A\\B\\C", &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    const char16_t text[] = u"value";
    ASSERT_EQ(
        RegSetValueExW(key, u"Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text),
        ERROR_SUCCESS);
    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"NAME", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, sizeof text);
    char16_t small[3];
    size = sizeof small;
    EXPECT_EQ(
        RegQueryValueExW(key, u"name", nullptr, nullptr, reinterpret_cast<BYTE*>(small), &size),
        ERROR_MORE_DATA);
    EXPECT_EQ(size, sizeof text);
    EXPECT_EQ(RegGetString(HKEY_CLASSES_ROOT, u"a\\b\\c", u"Name"), u"value");
    EXPECT_EQ(RegGetValueW(HKEY_CLASSES_ROOT, u"A\\B\\C", u"Name", RRF_RT_REG_DWORD, nullptr,
                           nullptr, &size),
              ERROR_UNSUPPORTED_TYPE);
    EXPECT_EQ(RegQueryValueExW(key, u"Other", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);

    HKEY again = Create(u"a\\B");
    char16_t name[8];
    for (DWORD index : {0, 1}) {
        DWORD length = 8;
        EXPECT_EQ(RegEnumKeyExW(again, index, name, &length, nullptr, nullptr, nullptr, nullptr),
                  index == 0 ? ERROR_SUCCESS : ERROR_NO_MORE_ITEMS);
    }
    EXPECT_EQ(std::u16string(name, 1), u"C") << "a key keeps the case it was made with";
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
