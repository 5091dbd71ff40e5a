// SPDX-License-Identifier: Apache-2.0
#include "platform/cache/CacheStore.h"

#include "platform/cache/CacheKey.h"
#include "platform/cache/ContentFiles.h"
#include "platform/cache/EntryMarks.h"
#include "platform/cache/KeptCopies.h"
#include "platform/cache/RecentBodies.h"
#include "platform/cache/RetrievalCounts.h"
#include "platform/cache/UrlCacheStore.h"
#include "platform/kernel/LastError.h"
#include "platform/text/Utf8.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

namespace urlcache {

namespace {

// A body up to this size is read into memory when its copy is opened: the
// next hits then cost no system call but the answer's write.
constexpr std::uint64_t kInMemoryLimit = std::uint64_t{64} * 1024;

CacheError ErrorFrom(const UrlCacheFailure& failure) {
    return {CacheError::Kind::Unreadable, Utf16ToUtf8(failure.path), failure.error,
            Utf16ToUtf8(failure.reason)};
}

CacheError NotFound(std::string_view url) {
    return {CacheError::Kind::NotFound,
            {},
            ERROR_FILE_NOT_FOUND,
            "the cache holds no entry for " + std::string(url)};
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
               return fold(x) == fold(y);
           });
}

std::string_view Trimmed(std::string_view text) {
    const std::size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        return {};
    }
    return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

/// Sets the entry's marks from the field lines of its head.
void ReadMarks(StoredEntry& entry) {
    std::string_view rest = entry.head;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = Trimmed(line.substr(colon + 1, line.find('\r') - colon - 1));
        entry.unverified = entry.unverified ||
                           (SameName(name, kCertificateField) && SameName(value, kUnverifiedValue));
        entry.thisMachineOnly = entry.thisMachineOnly ||
                                (SameName(name, kCacheField) && SameName(value, kThisMachineValue));
    }
}

/// The look-up itself, under the cache's lock; `withBody` also takes a
/// body the index keeps. A row whose content file is gone or cut short is
/// no usable entry.
CacheResult<StoredEntry> Find(std::string_view url, bool withBody, bool checkFile) {
    const std::string key = CacheKeyOf(url);
    std::optional<StoredEntry> found;
    std::optional<CacheError> error;
    UrlCacheFailure failure;
    const bool opened = WithUrlCacheReading(
        [&](CacheIndex& index, const std::string& root) {
            if (!index.FindStored(key, withBody, found)) {
                error = ErrorFrom(index.LastFailure());
                return;
            }
            if (found && !found->inIndex) {
                if (checkFile && !ContentMatches(root, found->file, found->size)) {
                    found.reset();
                    return;
                }
                found->file = ContentPath(root, found->file);
            }
        },
        &failure);
    if (!opened) {
        return ErrorFrom(failure);
    }
    if (error) {
        return *error;
    }
    if (!found) {
        return NotFound(url);
    }
    ReadMarks(*found);
    return std::move(*found);
}

/// Reads a small body into the entry whole, so that its copy holds it.
bool ReadWhole(int fd, StoredEntry& entry) {
    entry.body.resize(static_cast<std::size_t>(entry.size));
    std::size_t done = 0;
    while (done < entry.body.size()) {
        const ssize_t n = ::pread(fd, entry.body.data() + done, entry.body.size() - done,
                                  static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

/// Opens the body of an entry just looked up; nullopt when a download or a
/// deletion took its file away meanwhile (the next look names the new one).
std::optional<CacheResult<std::shared_ptr<const StoredCopy>>> Open(StoredEntry entry) {
    if (entry.inIndex) {
        if (entry.body.size() != entry.size) {
            return std::nullopt;
        }
        return std::make_shared<const StoredCopy>(std::move(entry), nullptr);
    }
    auto file = std::make_shared<FileDescriptor>(::open(entry.file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file->Valid()) {
        if (errno == ENOENT) {
            return std::nullopt;
        }
        return CacheResult<std::shared_ptr<const StoredCopy>>(
            ErrorFrom(FailureFromErrno(entry.file, errno)));
    }
    struct stat info {};
    if (::fstat(file->Get(), &info) != 0 ||
        static_cast<std::uint64_t>(info.st_size) != entry.size) {
        return std::nullopt;
    }
    if (entry.size <= kInMemoryLimit) {
        if (!ReadWhole(file->Get(), entry)) {
            return std::nullopt;
        }
        return std::make_shared<const StoredCopy>(std::move(entry), nullptr);
    }
    return std::make_shared<const StoredCopy>(std::move(entry), std::move(file));
}

} // namespace

StoredCopy::StoredCopy(StoredEntry entry, std::shared_ptr<const FileDescriptor> file)
    : m_entry(std::move(entry)), m_file(std::move(file)) {}

int StoredCopy::Descriptor() const {
    return m_file ? m_file->Get() : -1;
}

CacheResult<std::size_t> StoredCopy::Read(std::uint64_t offset, char* out,
                                          std::size_t capacity) const {
    if (offset >= Size()) {
        return std::size_t{0};
    }
    const auto wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(capacity, Size() - offset));
    if (!m_file) {
        std::memcpy(out, m_entry.body.data() + offset, wanted);
        return wanted;
    }
    std::size_t done = 0;
    while (done < wanted) {
        const ssize_t n =
            ::pread(m_file->Get(), out + done, wanted - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n < 0 ? ErrorFrom(FailureFromErrno(m_entry.file, errno))
                         : CacheError{CacheError::Kind::Unreadable, m_entry.file, ERROR_GEN_FAILURE,
                                      "the file ends before the body"};
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

CacheResult<StoredEntry> Lookup(std::string_view url) {
    return Find(url, true, true);
}

CacheResult<std::shared_ptr<const StoredCopy>> OpenCopy(std::string_view url) {
    if (std::shared_ptr<const StoredCopy> kept = FindKeptCopy(url)) {
        CountStoredHit(kept->Entry().url);
        return kept;
    }
    // A download may replace the entry between the look and the open and
    // delete the body the look named; the next look names the new one.
    for (int attempt = 0; attempt < 3; ++attempt) {
        CacheResult<StoredEntry> entry = Find(url, true, false);
        if (!entry) {
            return entry.Error();
        }
        std::optional<CacheResult<std::shared_ptr<const StoredCopy>>> copy =
            Open(std::move(*entry));
        if (copy && !*copy) {
            return copy->Error();
        }
        if (copy) {
            KeepCopy(url, copy->Value());
            CountStoredHit(copy->Value()->Entry().url);
            return std::move(*copy);
        }
    }
    return NotFound(url);
}

CacheResult<std::vector<StoredEntry>> ListEntries() {
    // So that a listing shows this process's hits too; hits that cannot be
    // written yet wait for the next flush.
    static_cast<void>(FlushStoredHits());
    std::vector<StoredEntry> entries;
    std::optional<CacheError> error;
    UrlCacheFailure failure;
    const bool opened = WithUrlCache(
        [&](CacheIndex& index, const std::string& root) {
            if (!index.ListStored(entries)) {
                error = ErrorFrom(index.LastFailure());
                return;
            }
            for (StoredEntry& entry : entries) {
                entry.file = entry.inIndex ? std::string() : ContentPath(root, entry.file);
                ReadMarks(entry);
            }
        },
        &failure);
    if (!opened) {
        return ErrorFrom(failure);
    }
    if (error) {
        return *error;
    }
    return entries;
}

CacheResult<bool> Remove(std::string_view url) {
    const std::string key = CacheKeyOf(url);
    std::optional<CacheError> error;
    std::string orphan;
    std::string cacheRoot;
    UrlCacheFailure failure;
    const bool opened = WithUrlCache(
        [&](CacheIndex& index, const std::string& root) {
            Transaction transaction(index.Db());
            std::optional<StoredEntry> found;
            bool shared = true;
            if (!transaction.Begun() || !index.FindStored(key, false, found)) {
                error = ErrorFrom(index.LastFailure());
            } else if (!found) {
                error = NotFound(url);
            } else if (!index.Remove(std::string_view(key)) ||
                       !index.IsFileReferenced(found->file, shared) || !transaction.Commit()) {
                error = ErrorFrom(index.LastFailure());
            } else if (!shared && !found->file.empty()) {
                orphan = found->file;
                cacheRoot = root;
            }
        },
        &failure);
    if (!orphan.empty()) {
        RemoveContent(cacheRoot, orphan);
    }
    ForgetRecentBodies();
    if (!opened) {
        return ErrorFrom(failure);
    }
    if (error) {
        return *error;
    }
    return true;
}

} // namespace urlcache
