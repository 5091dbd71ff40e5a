// SPDX-License-Identifier: Apache-2.0
// Loads now the libraries the internet library and the URL cache call into
// (libcurl, OpenSSL, SQLite), which are otherwise loaded on first use, so
// that a long-running command learns at its start, not in the middle of a
// request, that one cannot be loaded (or that descriptors are short).
#pragma once

#include "platform/kernel/LazyLibrary.h"

#include <string>
#include <vector>

namespace kernel {

/// True when every one is loaded and bound; otherwise false with `error`
/// naming what could not be loaded.
bool LoadPlatformLibraries(std::string& error);

/// Loads and binds each of `groups` in turn; false at the first that cannot
/// be, with `error` saying why.
bool LoadLazyGroups(const std::vector<const DravikLazyGroup*>& groups, std::string& error);

} // namespace kernel
