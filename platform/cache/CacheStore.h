// SPDX-License-Identifier: Apache-2.0
// The URL cache's native face: UTF-8 texts, results that carry their own
// reason, and opened copies owned by the caller. The front ends use it;
// the internet library's cache calls (UrlCache.h) are the shim the core is
// written against, and both stand on the same index and content files.
#pragma once

#include "platform/cache/CacheResult.h"
#include "platform/cache/StoredEntry.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace urlcache {

class FileDescriptor;

/// A kept entry opened for serving. Its body stays readable, whole and as
/// it was when opened, whatever later downloads or deletions do to the
/// entry: a small body is held in memory, a larger one by its open file.
class StoredCopy {
  public:
    StoredCopy(StoredEntry entry, std::shared_ptr<const FileDescriptor> file);

    const StoredEntry& Entry() const { return m_entry; }
    std::uint64_t Size() const { return m_entry.size; }
    /// True when the whole body is in Bytes(); otherwise it is read from
    /// Descriptor().
    bool InMemory() const { return !m_file; }
    std::string_view Bytes() const { return m_entry.body; }
    /// The open content file of a body not in memory; -1 for one that is.
    int Descriptor() const;

    /// Copies up to `capacity` body bytes from `offset` into `out`: the
    /// count copied, 0 at or past the end.
    CacheResult<std::size_t> Read(std::uint64_t offset, char* out, std::size_t capacity) const;

  private:
    StoredEntry m_entry;
    std::shared_ptr<const FileDescriptor> m_file;
};

/// The entry for `url` (a fragment is ignored; scheme and host without
/// case), with its body when the index keeps it. NotFound when the cache
/// has no usable entry. Counts no hit and takes no lock.
CacheResult<StoredEntry> Lookup(std::string_view url);

/// The entry for `url` opened for serving, and one hit counted. A copy
/// opened in the last second is given again (this process's own changes
/// to the cache show at once).
CacheResult<std::shared_ptr<const StoredCopy>> OpenCopy(std::string_view url);

/// Every entry in URL order, without bodies.
CacheResult<std::vector<StoredEntry>> ListEntries();

/// Removes the entry for `url` and, when no other entry shares it, its
/// content file (a copy already opened keeps reading it). NotFound without
/// an entry.
CacheResult<bool> Remove(std::string_view url);

} // namespace urlcache
