// SPDX-License-Identifier: Apache-2.0
// What the proxy serves from the URL cache: one entry opened for serving,
// and the list of entries its pages show.
#pragma once

#include "host/proxy/HeaderFields.h"
#include "platform/cache/CacheStore.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace proxy {

/// One kept entry opened for serving, with the stored fields it is
/// answered with.
class CachedCopy {
  public:
    /// The entry for `url`: null when the cache has none, or when it could
    /// not be read (`error` then says why, when given).
    static std::unique_ptr<CachedCopy> Open(const std::string& url,
                                            urlcache::CacheError* error = nullptr);

    std::uint64_t Size() const { return m_stored->Size(); }
    /// True when the entry was fetched over https without its certificate
    /// being verified.
    bool Unverified() const { return m_stored->Entry().unverified; }
    /// True when only this machine's user may be answered with the entry
    /// (kept by the proxy for that user).
    bool ThisMachineOnly() const { return m_stored->Entry().thisMachineOnly; }
    /// Content-Type and the other stored fields the copy is served with.
    const std::vector<HeaderField>& Fields() const { return *m_fields; }
    /// The opened entry itself: its body in memory or its open file.
    const std::shared_ptr<const urlcache::StoredCopy>& Stored() const { return m_stored; }

    /// Copies the next bytes; `got` 0 at the end. False when the cache
    /// could not be read.
    bool Read(char* out, std::size_t capacity, std::size_t& got);

  private:
    explicit CachedCopy(std::shared_ptr<const urlcache::StoredCopy> stored);

    std::shared_ptr<const urlcache::StoredCopy> m_stored;
    /// Shared by every copy with the same stored head: read once.
    std::shared_ptr<const std::vector<HeaderField>> m_fields;
    std::uint64_t m_offset = 0;
};

struct ListedEntry {
    std::string url;
    std::uint64_t size = 0;
    std::string contentType;    // empty when the response gave none
    std::uint64_t lastSync = 0; // file-time ticks
    std::uint32_t hits = 0;     // times served from the cache
};

/// What the index shows of a stored entry.
ListedEntry ListedFrom(const urlcache::StoredEntry& entry);

} // namespace proxy
