// SPDX-License-Identifier: Apache-2.0
// The calling thread's stack: how much of it is left below the current
// frame, and running work on a thread whose stack is larger than the
// system's default, for recursions whose depth the input decides.
#pragma once

#include <cstddef>
#include <functional>

/// Bytes between the calling frame and the far end of the calling thread's
/// stack; SIZE_MAX when the system cannot tell.
std::size_t StackHeadroom();

/// Runs `work` on a new thread whose stack reserves `bytes` (taken from
/// memory only as it is used) and waits for it to end. An exception `work`
/// throws, and the last-error value it leaves, reach the caller as if it
/// had run on the caller's thread. Runs `work` on the calling thread when no
/// such thread can be made.
void RunOnLargeStack(std::size_t bytes, const std::function<void()>& work);
