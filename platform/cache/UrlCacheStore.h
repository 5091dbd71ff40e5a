// The process's way into the URL cache: where it lives, and the open index.
//
// The cache lives in $XDG_CACHE_HOME/dravik/, or ~/.cache/dravik/ when that
// variable is unset or not absolute. The index is opened on first use and
// again whenever that place changes or the process has forked (an SQLite
// connection must not cross a fork). Each opening first sweeps away the
// temporaries of writers that died.
#pragma once

#include "platform/cache/CacheIndex.h"

#include <functional>
#include <string>

namespace urlcache {

/// The cache folder for the current environment; empty when there is none
/// (neither XDG_CACHE_HOME nor HOME is usable).
std::string CacheRoot();

/// Runs `work` with the open index and the cache folder, one caller at a
/// time within the process. Returns false, without running `work`, when the
/// cache cannot be opened; the reason is then the thread's latest cache
/// failure (and in `*failure` when it is given).
bool WithUrlCache(const std::function<void(CacheIndex& index, const std::string& root)>& work,
                  UrlCacheFailure* failure = nullptr);

} // namespace urlcache
