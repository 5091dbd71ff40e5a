// Cache streams: an entry's body read through an open file of its own.
//
// The open file keeps the body readable whatever happens to the entry
// meanwhile (a new download, a deletion), so a stream needs no lock in the
// index; its hit is counted in a batch (RetrievalCounts.h), and the open
// file is kept for the next stream of the same URL (RecentBodies.h).
#include "platform/cache/ContentFiles.h"
#include "platform/cache/HandleRegistry.h"
#include "platform/cache/RecentBodies.h"
#include "platform/cache/RetrievalCounts.h"
#include "platform/cache/UrlCacheStreams.h"
#include "platform/kernel/LastError.h"
#include "platform/text/Utf8.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

using namespace urlcache;

namespace {

struct CacheStream {
    std::shared_ptr<const FileDescriptor> body; // shared: reads name their offset
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

/// The body of an entry just looked up. Every entry keeps its body in the
/// file the look names (checked to have the entry's size); this is the one
/// place that knows it. Content files are never rewritten in place, so
/// what is opened stays whole.
FileDescriptor OpenBody(const INTERNET_CACHE_ENTRY_INFOW& entry) {
    const std::string path = Utf16ToUtf8(entry.lpszLocalFileName);
    return FileDescriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
}

HANDLE Open(std::shared_ptr<const FileDescriptor> body, INTERNET_CACHE_ENTRY_INFOW& entry) {
    auto stream = std::make_shared<CacheStream>();
    stream->body = std::move(body);
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
    std::size_t done = 0;
    auto* out = static_cast<char*>(buffer);
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
