// SPDX-License-Identifier: Apache-2.0
// Making one step of the platform fail on purpose, for tests.
//
// The environment variable DRAVIK_FAULT holds a comma-separated list of
// step names; a platform call whose step is listed fails as it would if the
// underlying store or library failed, with the error it documents. Steps:
//   InternetOpenW                 the internet session cannot be opened
//   RegisterTypeLib, UnRegisterTypeLib
//   RegisterControlClass, RegisterPropertyPageClass, UnregisterClass
//   CoCreateInstance:<clsid>      that class cannot be created (braced form)
//   RegisterCategories, RegisterClassImplCategories
//   CommitEntryBatch              a batch of cached entries cannot be committed
// Only builds with tests honour it (DRAVIK_FAULT_POINTS, on with
// DRAVIK_TESTS); a build without tests ignores the variable.
// The variable is read at each call, so a test can set it for one call. The
// steps are rare (start-up, registration, a batch commit at most every few
// dozen entries), so the look-up costs nothing that matters.
#pragma once

#include <string_view>

/// Whether DRAVIK_FAULT names `step`.
bool FaultInjected(std::string_view step);
