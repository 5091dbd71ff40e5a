// SPDX-License-Identifier: Apache-2.0
#include "host/proxy/CachedCopy.h"

#include <mutex>
#include <string_view>
#include <unordered_map>

namespace proxy {

namespace {

// Stored heads whose fields are kept read: a hit then costs a lookup, not a
// parse. Emptied whole when full; the next hits read their heads again.
constexpr std::size_t kKnownHeads = 2048;

struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
        return std::hash<std::string_view>{}(text);
    }
};

std::shared_ptr<const std::vector<HeaderField>> FieldsOf(const std::string& storedHead) {
    static std::mutex mutex;
    static std::unordered_map<std::string, std::shared_ptr<const std::vector<HeaderField>>,
                              TextHash, std::equal_to<>>
        known;
    {
        const std::lock_guard lock(mutex);
        if (const auto found = known.find(std::string_view(storedHead)); found != known.end()) {
            return found->second;
        }
    }
    auto fields = std::make_shared<const std::vector<HeaderField>>(ReplayedFields(storedHead));
    const std::lock_guard lock(mutex);
    if (known.size() >= kKnownHeads) {
        known.clear();
    }
    known.emplace(storedHead, fields);
    return fields;
}

} // namespace

CachedCopy::CachedCopy(std::shared_ptr<const urlcache::StoredCopy> stored)
    : m_stored(std::move(stored)), m_fields(FieldsOf(m_stored->Entry().head)) {}

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
