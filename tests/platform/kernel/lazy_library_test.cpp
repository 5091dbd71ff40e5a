// SPDX-License-Identifier: Apache-2.0
// A library that cannot be loaded is reported, never an abort().
#include "platform/kernel/LazyLibrary.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

// One missing function of a library that does not exist, laid out as the
// generated stubs lay out a group.
void* g_slots[1] = {nullptr};
void* const g_thunks[1] = {nullptr};
constexpr char kNames[] = "dravik_no_such_function\0";
constexpr char kSoname[] = "libdravik-no-such-library.so.9";
const DravikLazyGroup kMissing{g_slots, g_thunks, 1, kSoname, kNames};

[[noreturn]] void Throw(const char* soname, const char* name, const char* reason) {
    throw std::runtime_error(std::string(soname) + " " + name + " " + reason);
}

TEST(LazyLibraryTest, LoadingAMissingLibraryUpFrontSaysWhich) {
    char error[256] = "";
    EXPECT_EQ(DravikLazyLoad(&kMissing, error, sizeof error), 0);
    EXPECT_NE(std::string(error).find(kSoname), std::string::npos) << error;
}

TEST(LazyLibraryTest, AFailedFirstCallGoesToTheHandler) {
    DravikLazySetFailure(&Throw);
    try {
        DravikLazyBind(g_slots, kNames, kSoname, 0);
        ADD_FAILURE() << "bound a function of a library that does not exist";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("dravik_no_such_function"), std::string::npos);
    }
    DravikLazySetFailure(nullptr);
}

TEST(LazyLibraryDeathTest, WithoutAHandlerAFailedLoadExitsWithAMessage) {
    EXPECT_EXIT(DravikLazyBind(g_slots, kNames, kSoname, 0), ::testing::ExitedWithCode(1),
                "cannot load dravik_no_such_function from libdravik-no-such-library");
}

} // namespace
