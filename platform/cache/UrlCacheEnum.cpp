// SPDX-License-Identifier: Apache-2.0
// Walking every entry of the URL cache.
#include "platform/cache/EntryInfo.h"
#include "platform/cache/HandleRegistry.h"
#include "platform/cache/RetrievalCounts.h"
#include "platform/cache/UrlCacheStore.h"
#include "platform/cache/UrlCacheStreams.h"
#include "platform/kernel/LastError.h"

#include <deque>
#include <string_view>

using namespace urlcache;

namespace {

// Rows read from the index at a time: a walk of a large cache holds only
// this many in memory.
constexpr int kBatch = 256;

struct CacheWalk {
    std::mutex mutex;
    std::deque<EntryRecord> pending;
    std::u16string lastUrl; // the last row read from the index
    std::string root;
    bool exhausted = false;
};

HandleRegistry<CacheWalk>& Walks() {
    static HandleRegistry<CacheWalk> walks;
    return walks;
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

/// Reads the next batch when nothing is pending. False on a cache failure.
bool Refill(CacheWalk& walk) {
    if (!walk.pending.empty() || walk.exhausted) {
        return true;
    }
    std::vector<EntryRecord> rows;
    bool read = false;
    const bool opened = WithUrlCache([&](CacheIndex& index, const std::string& root) {
        read = index.ListAfter(walk.lastUrl, kBatch, rows);
        walk.root = root;
    });
    if (!opened || !read) {
        return false;
    }
    walk.exhausted = rows.size() < static_cast<std::size_t>(kBatch);
    if (!rows.empty()) {
        walk.lastUrl = rows.back().url;
    }
    walk.pending.insert(walk.pending.end(), rows.begin(), rows.end());
    return true;
}

/// Copies the next entry out and moves the walk on. Returns 0 or the error.
DWORD Next(CacheWalk& walk, INTERNET_CACHE_ENTRY_INFOW* entry, DWORD* entrySize) {
    const std::lock_guard lock(walk.mutex);
    if (!Refill(walk)) {
        return ERROR_INTERNET_INTERNAL_ERROR;
    }
    if (walk.pending.empty()) {
        return ERROR_NO_MORE_ITEMS;
    }
    const EntryRecord& record = walk.pending.front();
    const DWORD needed = EntryInfoSize(record, walk.root);
    if (entry == nullptr || *entrySize < needed) {
        *entrySize = needed;
        return ERROR_INSUFFICIENT_BUFFER;
    }
    FillEntryInfo(record, walk.root, entry);
    *entrySize = needed;
    walk.pending.pop_front();
    return 0;
}

} // namespace

HANDLE FindFirstUrlCacheEntryW(const char16_t* searchPattern, INTERNET_CACHE_ENTRY_INFOW* entry,
                               DWORD* entrySize) {
    if (entrySize == nullptr ||
        (searchPattern != nullptr && std::u16string_view(searchPattern) != u"*")) {
        Fail(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    FlushStreamHits(); // so that a listing shows this process's hits too
    auto walk = std::make_shared<CacheWalk>();
    if (const DWORD error = Next(*walk, entry, entrySize)) {
        Fail(error);
        return nullptr;
    }
    return Walks().Add(std::move(walk));
}

BOOL FindNextUrlCacheEntryW(HANDLE find, INTERNET_CACHE_ENTRY_INFOW* entry, DWORD* entrySize) {
    if (entrySize == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const std::shared_ptr<CacheWalk> walk = Walks().Find(find);
    if (!walk) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    const DWORD error = Next(*walk, entry, entrySize);
    return error == 0 ? TRUE : Fail(error);
}

BOOL FindCloseUrlCache(HANDLE find) {
    return Walks().Take(find) ? TRUE : Fail(ERROR_INVALID_HANDLE);
}
