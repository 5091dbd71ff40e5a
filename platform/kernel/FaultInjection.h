// SPDX-License-Identifier: Apache-2.0
// Making one step of the platform fail on purpose, for tests.
//
// The product never decides by itself that a step fails: a test program (or
// the library tests preload into the built program) installs a hook, and a
// platform call whose step the hook names fails as it would if the
// underlying store or library failed, with the error it documents. Steps:
//   InternetOpenW                 the internet session cannot be opened
//   RegisterTypeLib, UnRegisterTypeLib
//   RegisterControlClass, RegisterPropertyPageClass, UnregisterClass
//   CoCreateInstance:<clsid>      that class cannot be created (braced form)
//   RegisterCategories, RegisterClassImplCategories
//   CommitEntryBatch              a batch of cached entries cannot be committed
//   KnownTlsVerdicts              what a session knows of its hosts' certificate
//                                 chains is not consulted: every request is
//                                 judged on its connection
//   Uncaught                      the command ends in an exception nothing catches
// Without a hook (every installed program) nothing fails on purpose, whatever
// the environment holds. The steps are rare (start-up, registration, a batch
// commit at most every few dozen entries), so asking costs nothing that matters.
#pragma once

#include <string_view>

/// Says whether `step` is to fail now.
using FaultHook = bool (*)(std::string_view step);

/// Installs `hook` (null: none) for the whole process. Only test code calls it.
void SetFaultHook(FaultHook hook);

/// Whether the installed hook names `step`; false when none is installed.
[[nodiscard]] bool FaultInjected(std::string_view step);
