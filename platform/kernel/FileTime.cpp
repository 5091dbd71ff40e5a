// SPDX-License-Identifier: Apache-2.0
#include "platform/kernel/FileTime.h"

#include <ctime>

namespace {

// Seconds from 1601-01-01 to 1970-01-01, and file-time ticks per second.
constexpr std::uint64_t kEpochDifference = 11644473600ULL;
constexpr std::uint64_t kTicksPerSecond = 10000000ULL;

} // namespace

void GetSystemTimeAsFileTime(FILETIME* time) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(now.tv_sec) + kEpochDifference) * kTicksPerSecond +
        static_cast<std::uint64_t>(now.tv_nsec) / 100;
    *time = FileTimeFromTicks(ticks);
}

LONG CompareFileTime(const FILETIME* a, const FILETIME* b) {
    const std::uint64_t x = FileTimeToTicks(*a);
    const std::uint64_t y = FileTimeToTicks(*b);
    return x < y ? -1 : (x > y ? 1 : 0);
}

std::uint64_t FileTimeToTicks(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME FileTimeFromTicks(std::uint64_t ticks) {
    return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

FILETIME FileTimeFromUnixSeconds(std::int64_t seconds) {
    if (seconds <= 0) {
        return FILETIME{0, 0};
    }
    return FileTimeFromTicks((static_cast<std::uint64_t>(seconds) + kEpochDifference) *
                             kTicksPerSecond);
}
