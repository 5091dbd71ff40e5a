// SPDX-License-Identifier: Apache-2.0
// Content files that no index row names: left by a process killed after it
// moved a body into the content folder and before the rows naming it were
// committed, or by an earlier release that moved bodies before taking the
// index's write lock. Nothing would ever delete them.
//
// Every writer moves a body into the content folder only while it holds the
// index's write lock (ContentFiles.h), so a sweep that holds the lock finds
// every file either named by a committed row or left by a dead process.
#pragma once

#include "platform/cache/CacheIndex.h"

#include <string>

namespace urlcache {

/// Deletes the content files under `root` no row of `index` names. With
/// `wait` false the sweep is left to a later one when another process holds
/// the write lock, rather than waiting for it. Runs outside any transaction
/// of the connection. False when the index could not be read.
[[nodiscard]] bool SweepUnnamedContent(CacheIndex& index, const std::string& root, bool wait);

} // namespace urlcache

/// Sweeps the process's cache, waiting for the write lock as a writer does:
/// after `cache clear`, no file is left behind. False when the cache could
/// not be opened or read.
[[nodiscard]] bool RemoveUnnamedContent();
