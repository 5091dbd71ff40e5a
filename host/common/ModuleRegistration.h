// SPDX-License-Identifier: Apache-2.0
// The module that comes with the program, and running a module's own
// registration, as the platform's self-registration tool does.
#pragma once

#include <optional>
#include <string>

/// The bundled module: libdravik.so beside the program, or in
/// ../lib/dravik/ once installed. The first place when neither has it.
std::string BundledModulePath();

/// Loads the module at `modulePath`, calls its exported `entry`
/// ("DllRegisterServer" or "DllUnregisterServer") and unloads it. False
/// with `error` saying what failed, in words, when the module cannot be
/// loaded, lacks the entry, or the entry reports a failure.
bool CallRegistrationEntry(const std::string& modulePath, const char* entry, std::string& error);

/// Why the registry cannot be read ("PATH: reason"), or nothing when it can
/// or does not exist yet. A corrupt or unreadable registry is a fault of its
/// own, not a control that is "not registered".
std::optional<std::string> RegistryReadFailure();
