// SPDX-License-Identifier: Apache-2.0
// The file-time clock: 100-nanosecond intervals since 1 January 1601 UTC.
//
// Synchronization start times and the URL cache's download times are file
// times, so that "downloaded during this run" is a plain comparison.
#pragma once

#include "platform/kernel/WinTypes.h"

#include <cstdint>

/// The current UTC time.
void GetSystemTimeAsFileTime(FILETIME* time);

/// -1 when `a` is earlier than `b`, 0 when equal, 1 when later.
LONG CompareFileTime(const FILETIME* a, const FILETIME* b);

/// The two halves as one 64-bit count, and back.
std::uint64_t FileTimeToTicks(const FILETIME& time);
FILETIME FileTimeFromTicks(std::uint64_t ticks);

/// A file time for a count of seconds since 1 January 1970 UTC (0 stays 0,
/// meaning "unknown").
FILETIME FileTimeFromUnixSeconds(std::int64_t seconds);
