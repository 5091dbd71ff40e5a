// SPDX-License-Identifier: Apache-2.0
// Removing one entry of the URL cache.
#include "platform/cache/CacheKey.h"
#include "platform/cache/ContentFiles.h"
#include "platform/cache/RecentBodies.h"
#include "platform/cache/UrlCacheStore.h"
#include "platform/cache/UrlCacheStreams.h"
#include "platform/kernel/LastError.h"

#include <optional>
#include <vector>

using namespace urlcache;

namespace {

/// The key the cache keeps `url` under, found by the same look-up every
/// other call makes. An entry whose content has gone cannot be looked up;
/// its row is still removable under the key the URL makes.
std::optional<std::u16string> StoredKey(const char16_t* url) {
    std::vector<char> buffer(4096);
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto size = static_cast<DWORD>(buffer.size());
        auto* entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
        if (GetUrlCacheEntryInfoExW(url, entry, &size, nullptr, nullptr, nullptr, 0)) {
            return std::u16string(entry->lpszSourceUrlName);
        }
        if (GetLastError() == ERROR_FILE_NOT_FOUND) {
            return CacheKeyOf(url);
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            return std::nullopt;
        }
        buffer.resize(size);
    }
    return std::nullopt;
}

} // namespace

BOOL DeleteUrlCacheEntryW(const char16_t* url) {
    if (url == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::optional<std::u16string> key = StoredKey(url);
    if (!key) {
        return FALSE;
    }
    DWORD error = ERROR_INTERNET_INTERNAL_ERROR;
    std::string orphan;
    std::string cacheRoot;
    WithUrlCache([&](CacheIndex& index, const std::string& root) {
        Transaction transaction(index.Db());
        std::optional<EntryRecord> record;
        bool shared = true;
        if (!transaction.Begun() || !index.Find(*key, record)) {
            return;
        }
        if (!record) {
            error = ERROR_FILE_NOT_FOUND;
            return;
        }
        if (index.Remove(*key) && index.IsFileReferenced(record->file, shared) &&
            transaction.Commit()) {
            error = ERROR_SUCCESS;
            orphan = shared ? std::string() : record->file;
            cacheRoot = root;
        }
    });
    if (!orphan.empty()) {
        RemoveContent(cacheRoot, orphan);
    }
    ForgetRecentBodies();
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}
