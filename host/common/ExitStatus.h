// SPDX-License-Identifier: Apache-2.0
// The exit statuses of the `dravik` command, shared by every subcommand and
// by the front ends, and the words its help texts give them.
#pragma once

#include <initializer_list>
#include <string>

/// Exit statuses shared by every subcommand.
enum ExitStatus : int {
    kExitOk = 0,
    kExitFailed = 1,    // a subscription failed, or the server answered other than 200
    kExitUsage = 2,     // bad usage, page or configuration
    kExitOffline = 3,   // the library is offline and was not brought online
    kExitTransport = 4, // the internet session or a request failed
    kExitCache = 5,     // the URL cache could not be written (or read)
    kExitInternal = 70, // an exception nothing else caught (EX_SOFTWARE)
};

/// "Exit status: 0 ..., 1 ..." for the given statuses, in the same words
/// wherever a help text lists them.
std::string ExitStatusHelp(std::initializer_list<int> statuses);

/// A status with the meaning one command gives it; null for the shared one.
struct ExitMeaning {
    int status;
    const char* meaning = nullptr;
};
/// The same, for a command that gives some statuses a meaning of its own.
std::string ExitStatusHelp(std::initializer_list<ExitMeaning> statuses);
