// SPDX-License-Identifier: Apache-2.0
// What the program does when a library it loads on first use cannot be
// loaded: it says which, and ends with the exit status of what that library
// serves (the URL cache, or the internet session), never with abort().
#pragma once

#include <string_view>

/// The exit status for a library that could not be loaded: the cache's
/// for SQLite, the internet session's for any other.
int ExitStatusForLibrary(std::string_view soname);

/// Makes a failed load on first use report and exit as above.
void InstallLoadFailureHandler();
