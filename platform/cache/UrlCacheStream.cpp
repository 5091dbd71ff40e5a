// SPDX-License-Identifier: Apache-2.0
// Cache streams: an entry's body read through an open file of its own, or,
// for a small body kept in the index, through a copy of it taken at once.
//
// The open file (or the copy) keeps the body readable whatever happens to
// the entry meanwhile (a new download, a deletion), so a stream needs no
// lock in the index; its hit is counted in a batch (RetrievalCounts.h), and
// an open file is kept for the next stream of the same URL (RecentBodies.h).
#include "platform/cache/ContentFiles.h"
#include "platform/cache/HandleRegistry.h"
#include "platform/cache/RecentBodies.h"
#include "platform/cache/RetrievalCounts.h"
#include "platform/cache/UrlCacheStore.h"
#include "platform/cache/UrlCacheStreams.h"
#include "platform/kernel/LastError.h"
#include "platform/text/Utf8.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

using namespace urlcache;

namespace {

struct CacheStream {
    std::shared_ptr<const FileDescriptor> body; // shared: reads name their offset
    std::string bytes;                          // a body kept in the index
    std::uint64_t size = 0;
};

HandleRegistry<CacheStream>& Streams() {
    static HandleRegistry<CacheStream> streams;
    return streams;
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

std::uint64_t EntrySize(const INTERNET_CACHE_ENTRY_INFOW& entry) {
    return (std::uint64_t{entry.dwSizeHigh} << 32) | entry.dwSizeLow;
}

/// The body of an entry just looked up: the file the look names (checked
/// to have the entry's size), or none for a body kept in the index (see
/// IndexedBody); these two are the places that know. Content files are
/// never rewritten in place, so what is opened stays whole.
FileDescriptor OpenBody(const INTERNET_CACHE_ENTRY_INFOW& entry) {
    const std::string path = Utf16ToUtf8(entry.lpszLocalFileName);
    return FileDescriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
}

/// The body the index keeps for the entry just looked up, when it keeps it
/// still and it has the size the look gave.
std::optional<std::string> IndexedBody(const INTERNET_CACHE_ENTRY_INFOW& entry) {
    std::optional<std::string> body;
    WithUrlCacheReading([&](CacheIndex& index, const std::string&) {
        std::string bytes;
        bool found = false;
        if (index.ReadBody(entry.lpszSourceUrlName, bytes, found) && found &&
            bytes.size() == EntrySize(entry)) {
            body = std::move(bytes);
        }
    });
    return body;
}

HANDLE Open(std::shared_ptr<const FileDescriptor> body, INTERNET_CACHE_ENTRY_INFOW& entry,
            std::string bytes = {}) {
    auto stream = std::make_shared<CacheStream>();
    stream->body = std::move(body);
    stream->bytes = std::move(bytes);
    stream->size = EntrySize(entry);
    CountStreamHit(entry.lpszSourceUrlName);
    ++entry.dwHitRate;
    return Streams().Add(std::move(stream));
}

} // namespace

HANDLE RetrieveUrlCacheEntryStreamW(const char16_t* url, INTERNET_CACHE_ENTRY_INFOW* entry,
                                    DWORD* entrySize, BOOL, DWORD) {
    if (url == nullptr || entrySize == nullptr) {
        Fail(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (std::optional<RecentBody> recent = FindRecentBody(url)) {
        if (!CopyKeptEntry(*recent->entry, entry, entrySize)) {
            Fail(ERROR_INSUFFICIENT_BUFFER);
            return nullptr;
        }
        return Open(std::move(recent->body), *entry);
    }
    // A download may replace the entry between the look and the open and
    // delete the body the look named; the next look names the new one.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!GetUrlCacheEntryInfoExW(url, entry, entrySize, nullptr, nullptr, nullptr, 0)) {
            return nullptr;
        }
        if (entry->lpszLocalFileName[0] == u'\0') {
            if (std::optional<std::string> bytes = IndexedBody(*entry)) {
                return Open(nullptr, *entry, std::move(*bytes));
            }
            continue; // replaced meanwhile: look again
        }
        auto body = std::make_shared<const FileDescriptor>(OpenBody(*entry));
        if (body->Valid()) {
            KeepRecentBody(url, body, *entry, *entrySize);
            return Open(std::move(body), *entry);
        }
    }
    Fail(ERROR_FILE_NOT_FOUND);
    return nullptr;
}

BOOL ReadUrlCacheEntryStreamEx(HANDLE handle, std::uint64_t location, void* buffer, DWORD* length) {
    if (length == nullptr || (buffer == nullptr && *length != 0)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const std::shared_ptr<CacheStream> stream = Streams().Find(handle);
    if (!stream) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (location >= stream->size) {
        *length = 0;
        return TRUE;
    }
    const std::uint64_t wanted = std::min<std::uint64_t>(*length, stream->size - location);
    auto* out = static_cast<char*>(buffer);
    if (!stream->body) {
        std::memcpy(out, stream->bytes.data() + location, wanted);
        *length = static_cast<DWORD>(wanted);
        return TRUE;
    }
    std::size_t done = 0;
    while (done < wanted) {
        const ssize_t n = ::pread(stream->body->Get(), out + done, wanted - done,
                                  static_cast<off_t>(location + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            *length = 0;
            return Fail(ERROR_GEN_FAILURE);
        }
        done += static_cast<std::size_t>(n);
    }
    *length = static_cast<DWORD>(done);
    return TRUE;
}

BOOL ReadUrlCacheEntryStream(HANDLE stream, DWORD location, void* buffer, DWORD* length, DWORD) {
    return ReadUrlCacheEntryStreamEx(stream, location, buffer, length);
}

BOOL UnlockUrlCacheEntryStream(HANDLE handle, DWORD) {
    return Streams().Take(handle) ? TRUE : Fail(ERROR_INVALID_HANDLE);
}
