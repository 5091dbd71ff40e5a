// SPDX-License-Identifier: Apache-2.0
// The class ids, type names, category descriptions and page caption are
// proven as the registry records them by the module's registration tests.
#include "control/resources/ResourceIds.h"
#include "control/resources/Strings.h"
#include "control/resources/TypeLibrary.h"

#include <gtest/gtest.h>

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
