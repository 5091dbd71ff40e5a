// The registry store through its Windows calls: keys, values, the two-call
// protocol, deletion rules and enumeration.
#include "platform/com/Registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

class Registry : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "dravik-registry-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_home = pattern;
        ::setenv("XDG_DATA_HOME", m_home.c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(m_home); }

    static HKEY Create(const char16_t* path) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        return key;
    }

    std::string m_home;
};

TEST_F(Registry, ReadsOfAMissingStoreMakeNothing) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegGetString(HKEY_CLASSES_ROOT, u"CLSID", nullptr), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(RegistryFilePath()));
    EXPECT_EQ(RegistryFilePath(), m_home + "/dravik/registry.sqlite");
}

TEST_F(Registry, ValuesFollowTheTwoCallProtocolAndNamesIgnoreCase) {
    DWORD disposition = 0;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"A\\B\\C", 0, nullptr, 0, KEY_WRITE, nullptr,
                              &key, &disposition),
              ERROR_SUCCESS);
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

    HKEY again = Create(u"a\\B");
    char16_t name[8];
    DWORD length = 8;
    EXPECT_EQ(RegEnumKeyExW(again, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name, length), u"C") << "a key keeps the case it was made with";
    length = 8;
    EXPECT_EQ(RegEnumKeyExW(again, 1, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    RegCloseKey(again);
    RegCloseKey(key);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
}

TEST_F(Registry, DeletionRules) {
    ASSERT_EQ(RegSetString(HKEY_CLASSES_ROOT, u"Top\\Mid\\Leaf", u"v", u"1"), ERROR_SUCCESS);
    ASSERT_EQ(RegSetString(HKEY_CLASSES_ROOT, u"Top", nullptr, u"default"), ERROR_SUCCESS);
    HKEY leaf = Create(u"Top\\Mid\\Leaf");
    struct Case {
        const char* what;
        LSTATUS got;
        LSTATUS expected;
    };
    const Case cases[] = {
        {"a key with subkeys", RegDeleteKeyW(HKEY_CLASSES_ROOT, u"Top\\Mid"), ERROR_ACCESS_DENIED},
        {"the root", RegDeleteKeyW(HKEY_CLASSES_ROOT, nullptr), ERROR_ACCESS_DENIED},
        {"a missing key", RegDeleteTreeW(HKEY_CLASSES_ROOT, u"Nowhere"), ERROR_FILE_NOT_FOUND},
        {"an empty name", RegDeleteKeyW(HKEY_CLASSES_ROOT, u"Top\\\\Mid"), ERROR_INVALID_PARAMETER},
        {"a tree", RegDeleteTreeW(HKEY_CLASSES_ROOT, u"Top\\Mid"), ERROR_SUCCESS},
        {"a deleted key's value", RegSetString(leaf, u"", u"v", u"2"), ERROR_KEY_DELETED},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.got, c.expected) << c.what;
    }
    RegCloseKey(leaf);
    EXPECT_EQ(RegGetString(HKEY_CLASSES_ROOT, u"Top", nullptr), u"default");
    EXPECT_TRUE(RegSubkeyNames(HKEY_CLASSES_ROOT, u"Top").empty());
    // A null subkey empties the key but keeps it.
    ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, nullptr), ERROR_SUCCESS);
    EXPECT_TRUE(RegSubkeyNames(HKEY_CLASSES_ROOT, u"").empty());
}

} // namespace
