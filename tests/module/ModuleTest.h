// SPDX-License-Identifier: Apache-2.0
// The built module, loaded as a host loads it, against a fresh registry,
// cache and settings folder per test.
#pragma once

#include "framework/com/ComRuntime.h"
#include "framework/com/ModuleLoader.h"
#include "framework/com/Registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class ModuleTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    /// Loads the module, runs `entry` (DllRegisterServer, ...) and frees it.
    HRESULT Call(const char* entry) const;
    /// Whether the module is mapped in this process.
    bool IsLoaded() const;
    /// Every value as "key|name=text" and every key without values or
    /// subkeys as "key", sorted.
    static std::vector<std::string> Dump();
    /// Makes DRAVIK_FAULT name `steps` (empty: none).
    static void Fault(const std::string& steps);

    std::string m_module; ///< the module's full path
    std::string m_home;   ///< the test's scratch folder
};
