// SPDX-License-Identifier: Apache-2.0
#include "platform/cache/ContentSweep.h"

#include "platform/cache/ContentFiles.h"
#include "platform/cache/UrlCacheStore.h"

#include <unordered_set>
#include <vector>

namespace urlcache {

bool SweepUnnamedContent(CacheIndex& index, const std::string& root, bool wait) {
    const std::vector<std::string> files = ListContent(root);
    if (files.empty()) {
        return true; // the common case costs one look at the folder
    }
    index.WaitWhenBusy(wait);
    Transaction transaction(index.Db());
    index.WaitWhenBusy(true);
    if (!transaction.Begun()) {
        return !wait; // another process writes; a later sweep will do
    }
    std::unordered_set<std::string> named;
    if (!index.ListNamedFiles(named)) {
        return false;
    }
    for (const std::string& file : files) {
        if (!named.contains(file)) {
            RemoveContent(root, file);
        }
    }
    return true; // nothing was written: the transaction ends unchanged
}

} // namespace urlcache

bool RemoveUnnamedContent() {
    bool swept = false;
    const bool opened =
        urlcache::WithUrlCache([&](urlcache::CacheIndex& index, const std::string& root) {
            swept = urlcache::SweepUnnamedContent(index, root, true);
        });
    return opened && swept;
}
