#include "resources/ResourceIds.h"
#include "resources/Strings.h"
#include "resources/TypeLibrary.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

TEST(StringTable, HoldsTheTypeNamesAndThePageCaption) {
    ASSERT_NE(LoadResourceString(IDS_DRAVIK_PPG_CAPTION), nullptr);
    EXPECT_EQ(std::u16string(LoadResourceString(IDS_DRAVIK_PPG_CAPTION)), u"General");
    const char16_t* control = LoadResourceString(IDS_DRAVIK);
    const char16_t* page = LoadResourceString(IDS_DRAVIK_PPG);
    ASSERT_NE(control, nullptr);
    ASSERT_NE(page, nullptr);
    EXPECT_NE(std::u16string(control), u"");
    EXPECT_NE(std::u16string(control), std::u16string(page)) << "registration tells them apart";
    EXPECT_EQ(LoadResourceString(3), nullptr);
    EXPECT_EQ(LoadResourceString(0), nullptr);
}

TEST(StringTable, CategoryDescriptionsFitTheRegistrationRecord) {
    // Registration cuts descriptions to 127 units; ours must survive whole.
    EXPECT_LE(std::u16string(kSafeForInitializingDescription).size(), 127u);
    EXPECT_LE(std::u16string(kSafeForScriptingDescription).size(), 127u);
}

TEST(Identity, GuidsAreDistinctAndPrintInRegistryForm) {
    std::set<std::u16string> texts;
    for (const GUID& g : {CLSID_Dravik, CLSID_DravikPropPage, LIBID_DRAVIKLib, DIID__DDravik,
                          DIID__DDravikEvents}) {
        std::u16string text = GuidToString(g);
        EXPECT_EQ(text.size(), 38u);
        EXPECT_TRUE(texts.insert(text).second) << "duplicate GUID";
    }
    // Field order and byte order as the registry writes them.
    GUID g{0x0123ABCD, 0x0045, 0xEF01, {0x02, 0x03, 0xA0, 0x0B, 0xC0, 0x0D, 0xE0, 0x0F}};
    EXPECT_EQ(GuidToString(g), u"{0123ABCD-0045-EF01-0203-A00BC00DE00F}");
}

TEST(Identity, TypeLibraryEntriesCarryTheControlsIdentifiers) {
    const TypeLibraryInfo& lib = DravikTypeLibrary();
    EXPECT_EQ(lib.libid, LIBID_DRAVIKLib);
    EXPECT_EQ(lib.dispatchInterface.guid, DIID__DDravik);
    EXPECT_EQ(lib.eventInterface.guid, DIID__DDravikEvents);
    EXPECT_EQ(lib.controlClass.guid, CLSID_Dravik);
    EXPECT_TRUE(lib.dispatchInterface.flags & kTypeHidden);
    EXPECT_FALSE(lib.eventInterface.flags & kTypeHidden);
}
