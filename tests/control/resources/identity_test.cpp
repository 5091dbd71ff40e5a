// SPDX-License-Identifier: Apache-2.0
// The class ids, type names, category descriptions and page caption are
// proven as the registry records them by the module's registration tests.
#include "control/resources/ConfigKeys.h"
#include "control/resources/ResourceIds.h"
#include "control/resources/Strings.h"
#include "control/resources/TypeLibrary.h"

#include "platform/text/Utf8.h"

#include <gtest/gtest.h>

#include <set>

TEST(Identity, TheTypeLibraryHidesOnlyTheDispatchInterfaceAndUnknownStringsAreNone) {
    const TypeLibraryInfo& lib = DravikTypeLibrary();
    EXPECT_EQ(lib.libid, LIBID_DRAVIKLib);
    EXPECT_EQ(lib.dispatchInterface.guid, DIID__DDravik);
    EXPECT_EQ(lib.eventInterface.guid, DIID__DDravikEvents);
    EXPECT_EQ(lib.controlClass.guid, CLSID_Dravik);
    EXPECT_TRUE(lib.dispatchInterface.flags & kTypeHidden);
    EXPECT_FALSE(lib.eventInterface.flags & kTypeHidden);
    EXPECT_EQ(LoadResourceString(AfxGetResourceHandle(), 3), nullptr);
    EXPECT_EQ(LoadResourceString(AfxGetResourceHandle(), 0), nullptr);
}

namespace {

// Each destination is named by exactly one row, so no field is filled twice
// and none is left out; the 84 keys are distinct.
TEST(ConfigKeys, EveryDestinationHasExactlyOneKey) {
    std::set<GlobalField> globals;
    for (const GlobalKey& key : kGlobalKeys) {
        EXPECT_TRUE(globals.insert(key.field).second) << "twice: " << Utf16ToUtf8(key.name);
    }
    EXPECT_EQ(globals.size(), std::size_t{kGlobalKeyCount});
    std::set<SlotField> slots;
    for (const SlotKeySuffix& key : kSlotKeys) {
        EXPECT_TRUE(slots.insert(key.field).second) << "twice: " << Utf16ToUtf8(key.suffix);
    }
    EXPECT_EQ(slots.size(), std::size_t{kSlotKeyCount});
    const std::vector<std::u16string> keys = ConfigurationKeys();
    EXPECT_EQ(std::set<std::u16string>(keys.begin(), keys.end()).size(), std::size_t{84});
}

} // namespace
