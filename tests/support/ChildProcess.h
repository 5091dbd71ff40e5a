// SPDX-License-Identifier: Apache-2.0
// Child processes for tests that need a second process on the cache.
//
// A child is this test program started afresh (never a bare fork: a fork of
// a process with server threads may inherit a lock held by one of them),
// told by its environment to run one job instead of the tests. The child
// inherits the environment, so it uses the same cache folder.
#pragma once

#include <sys/types.h>

#include <cstddef>

#include <string>

namespace testsupport {

/// The body size of /item/N in the "write-items" job: even items small
/// enough to be kept in the cache's index, odd ones in files of their own.
inline std::size_t ItemSize(int item) {
    return item % 2 == 0 ? 20000 : 200000;
}

/// Starts a child that runs `job` with `argument`; returns its pid.
pid_t SpawnChild(const std::string& job, const std::string& argument);

/// Waits for the child; its exit status, or -1 when it was killed.
int WaitForChild(pid_t child);

} // namespace testsupport
