// SPDX-License-Identifier: Apache-2.0
// Looking entries up, locking and unlocking them, and listing the cache.
#include "platform/cache/CacheKey.h"
#include "platform/cache/ContentFiles.h"
#include "platform/cache/EntryInfo.h"
#include "platform/cache/UrlCache.h"
#include "platform/cache/UrlCacheStore.h"
#include "platform/kernel/LastError.h"

#include <optional>
#include <string_view>

using namespace urlcache;

namespace {

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

/// Moves the body of `record`, kept in the index, into a content file of
/// its own and names it in the row (within the caller's transaction).
bool SpillToFile(CacheIndex& index, const std::string& root, EntryRecord& record) {
    std::string body;
    bool found = false;
    if (!index.ReadBody(record.url, body, found) || !found) {
        return false;
    }
    std::optional<PendingContent> content = PendingContent::Create(root);
    if (!content || !content->Append(body.data(), body.size())) {
        return false;
    }
    std::string extension;
    for (const char16_t unit : record.extension) {
        extension += static_cast<char>(unit);
    }
    const std::optional<std::string> file = content->Publish(extension);
    if (!file) {
        return false;
    }
    if (!index.MoveBodyToFile(record.url, *file)) {
        RemoveContent(root, *file);
        return false;
    }
    record.file = *file;
    record.inIndex = false;
    return true;
}

/// Looks `url` up and, when the caller's buffer holds it, fills the buffer
/// and (with `lock`) takes one lock, all in one transaction. Returns 0 or
/// the last-error value.
DWORD ReadEntry(const char16_t* url, INTERNET_CACHE_ENTRY_INFOW* entry, DWORD* entrySize,
                bool lock) {
    DWORD error = ERROR_INTERNET_INTERNAL_ERROR;
    // A plain look only reads, so it may see entries still waiting in the
    // batch; a lock writes.
    const auto with = lock ? WithUrlCache : WithUrlCacheReading;
    with(
        [&](CacheIndex& index, const std::string& root) {
            Transaction transaction(index.Db(),
                                    lock ? Transaction::Mode::Write : Transaction::Mode::Read);
            std::optional<EntryRecord> record;
            if (!transaction.Begun() || !index.Find(CacheKeyOf(url), record)) {
                return;
            }
            if (!record) {
                error = ERROR_FILE_NOT_FOUND;
                return;
            }
            if (!record->inIndex && !ContentMatches(root, record->file, record->size)) {
                // The content went away or was cut short behind the cache's back:
                // there is no usable entry. A lock forgets it at once; a plain
                // look leaves that to the next download, which replaces it.
                error = !lock || (index.Remove(record->url) && transaction.Commit())
                            ? ERROR_FILE_NOT_FOUND
                            : error;
                return;
            }
            // A lock promises a file: a body kept in the index is written out to
            // one first, under a name as long as any content file's.
            const bool spill = lock && record->inIndex;
            EntryRecord sized = *record;
            if (spill) {
                sized.inIndex = false;
                sized.file = ContentName(record->extension);
            }
            const DWORD needed = EntryInfoSize(sized, root);
            if (entry == nullptr || *entrySize < needed) {
                *entrySize = needed;
                error = ERROR_INSUFFICIENT_BUFFER;
                return;
            }
            if (spill && !SpillToFile(index, root, *record)) {
                return;
            }
            if (lock) {
                ++record->useCount;
                ++record->hitCount;
                if (!index.CountRetrieval(record->url) || !transaction.Commit()) {
                    return;
                }
            }
            FillEntryInfo(*record, root, entry);
            *entrySize = needed;
            error = ERROR_SUCCESS;
        },
        nullptr);
    return error;
}

} // namespace

BOOL GetUrlCacheEntryInfoExW(const char16_t* url, INTERNET_CACHE_ENTRY_INFOW* entry,
                             DWORD* entrySize, char16_t*, DWORD*, void*, DWORD) {
    if (url == nullptr || entrySize == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const DWORD error = ReadEntry(url, entry, entrySize, false);
    return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

BOOL RetrieveUrlCacheEntryFileW(const char16_t* url, INTERNET_CACHE_ENTRY_INFOW* entry,
                                DWORD* entrySize, DWORD) {
    if (url == nullptr || entrySize == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const DWORD error = ReadEntry(url, entry, entrySize, true);
    return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

BOOL UnlockUrlCacheEntryFileW(const char16_t* url, DWORD) {
    if (url == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    // A cache that cannot be opened leaves the internal error.
    DWORD error = ERROR_INTERNET_INTERNAL_ERROR;
    static_cast<void>(WithUrlCache([&](CacheIndex& index, const std::string&) {
        Transaction transaction(index.Db());
        std::optional<EntryRecord> record;
        if (!transaction.Begun() || !index.Find(CacheKeyOf(url), record)) {
            return;
        }
        if (!record) {
            error = ERROR_FILE_NOT_FOUND;
        } else if (record->useCount == 0) {
            error = ERROR_NOT_LOCKED;
        } else if (index.SetUseCount(record->url, record->useCount - 1) && transaction.Commit()) {
            error = ERROR_SUCCESS;
        }
    }));
    return error == ERROR_SUCCESS ? TRUE : Fail(error);
}

BOOL ListUrlCacheEntries(std::vector<UrlCacheEntry>& entries) {
    entries.clear();
    bool listed = false;
    // A cache that cannot be opened leaves `listed` false, `failure` says why.
    UrlCacheFailure failure;
    static_cast<void>(WithUrlCache(
        [&](CacheIndex& index, const std::string& root) {
            std::vector<EntryRecord> records;
            listed = index.ListAll(records);
            if (!listed) {
                failure = index.LastFailure();
                RememberFailure(failure);
            }
            for (const EntryRecord& record : records) {
                entries.push_back(ToListedEntry(record, root));
            }
        },
        &failure));
    return listed ? TRUE : Fail(failure.error);
}
