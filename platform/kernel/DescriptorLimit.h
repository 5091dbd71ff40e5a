// SPDX-License-Identifier: Apache-2.0
// The process's limit on open descriptors, for commands that serve many
// connections at once.
#pragma once

namespace kernel {

/// Raises the soft RLIMIT_NOFILE to the hard limit (the default soft limit
/// of 1024 is a few hundred browser connections with their upstream
/// sockets and files). Returns the soft limit now in force, or -1 when it
/// cannot be read.
long RaiseDescriptorLimit();

} // namespace kernel
