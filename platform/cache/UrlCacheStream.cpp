// Cache streams: an entry's body read through a lock on the entry.
#include "platform/cache/ContentFiles.h"
#include "platform/cache/HandleRegistry.h"
#include "platform/cache/UrlCacheStreams.h"
#include "platform/kernel/LastError.h"
#include "platform/text/Utf8.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

using namespace urlcache;

namespace {

struct CacheStream {
    FileDescriptor body;
    std::uint64_t size = 0;
    std::u16string sourceUrl; // the entry's own URL, for the unlock
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

/// The body of a locked entry. Every entry keeps its body in the file the
/// lock names; this is the one place that knows it.
FileDescriptor OpenBody(const INTERNET_CACHE_ENTRY_INFOW& entry) {
    const std::string path = Utf16ToUtf8(entry.lpszLocalFileName);
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!fd.Valid() || ::fstat(fd.Get(), &info) != 0 ||
        static_cast<std::uint64_t>(info.st_size) != EntrySize(entry)) {
        return {};
    }
    return fd;
}

} // namespace

HANDLE RetrieveUrlCacheEntryStreamW(const char16_t* url, INTERNET_CACHE_ENTRY_INFOW* entry,
                                    DWORD* entrySize, BOOL, DWORD) {
    if (url == nullptr || entrySize == nullptr) {
        Fail(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // A download may replace the entry between the lock and the open and
    // delete the body the lock named; the next lock names the new one.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!RetrieveUrlCacheEntryFileW(url, entry, entrySize, 0)) {
            return nullptr;
        }
        FileDescriptor body = OpenBody(*entry);
        if (body.Valid()) {
            auto stream = std::make_shared<CacheStream>();
            stream->body = std::move(body);
            stream->size = EntrySize(*entry);
            stream->sourceUrl = entry->lpszSourceUrlName;
            return Streams().Add(std::move(stream));
        }
        UnlockUrlCacheEntryFileW(entry->lpszSourceUrlName, 0);
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
        const ssize_t n = ::pread(stream->body.Get(), out + done, wanted - done,
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
    const std::shared_ptr<CacheStream> stream = Streams().Take(handle);
    if (!stream) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    // An entry removed or replaced while the stream was open has no lock of
    // ours left to release; that is not the caller's failure.
    UnlockUrlCacheEntryFileW(stream->sourceUrl.c_str(), 0);
    return TRUE;
}
