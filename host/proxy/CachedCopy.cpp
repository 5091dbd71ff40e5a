// SPDX-License-Identifier: Apache-2.0
#include "host/proxy/CachedCopy.h"

namespace proxy {

CachedCopy::CachedCopy(std::shared_ptr<const urlcache::StoredCopy> stored)
    : m_stored(std::move(stored)), m_fields(ReplayedFields(m_stored->Entry().head)) {}

std::unique_ptr<CachedCopy> CachedCopy::Open(const std::string& url, urlcache::CacheError* error) {
    urlcache::CacheResult<std::shared_ptr<const urlcache::StoredCopy>> stored =
        urlcache::OpenCopy(url);
    if (!stored) {
        if (error != nullptr) {
            *error = stored.Error();
        }
        return nullptr;
    }
    return std::unique_ptr<CachedCopy>(new CachedCopy(std::move(*stored)));
}

bool CachedCopy::Read(char* out, std::size_t capacity, std::size_t& got) {
    const urlcache::CacheResult<std::size_t> read = m_stored->Read(m_offset, out, capacity);
    got = read ? *read : 0;
    m_offset += got;
    return read.HasValue();
}

ListedEntry ListedFrom(const urlcache::StoredEntry& entry) {
    ListedEntry out;
    out.url = entry.url;
    out.size = entry.size;
    if (const std::optional<ResponseHead> head = ParseResponseHead(entry.head)) {
        out.contentType = FindField(head->fields, "Content-Type").value_or("");
    }
    out.lastSync = entry.lastSync;
    out.hits = entry.hits;
    return out;
}

} // namespace proxy
