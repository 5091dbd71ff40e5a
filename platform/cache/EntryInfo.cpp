// SPDX-License-Identifier: Apache-2.0
#include "platform/cache/EntryInfo.h"

#include "platform/cache/ContentFiles.h"
#include "platform/kernel/FileTime.h"

#include <cstring>

namespace urlcache {

namespace {

std::size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    if (lead >= 0xE0) {
        return lead <= 0xEF ? 3 : 0;
    }
    return lead >= 0xC2 ? 2 : 0;
}

/// UTF-8 to UTF-16; a byte that does not start a valid sequence stands for
/// itself, so odd file names still come out as something.
std::u16string FromUtf8(const std::string& text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : SequenceLength(lead);
        bool valid = length > 0 && i + length <= text.size();
        char32_t c = length == 1 ? lead : (lead & (0x7F >> length));
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        if (!valid) {
            out += static_cast<char16_t>(lead);
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += length;
    }
    return out;
}

/// Copies `text` and its terminator to `*cursor` and moves it on.
char16_t* Place(const std::u16string& text, char16_t*& cursor) {
    char16_t* start = cursor;
    std::memcpy(cursor, text.c_str(), (text.size() + 1) * sizeof(char16_t));
    cursor += text.size() + 1;
    return start;
}

} // namespace

std::u16string LocalFileText(const EntryRecord& record, const std::string& root) {
    // A body kept in the index has no file: RetrieveUrlCacheEntryFileW
    // writes one when a caller needs it.
    return record.inIndex ? std::u16string() : FromUtf8(ContentPath(root, record.file));
}

DWORD EntryInfoSize(const EntryRecord& record, const std::string& root) {
    const std::size_t units = record.url.size() + 1 + LocalFileText(record, root).size() + 1 +
                              record.headers.size() + 1 + record.extension.size() + 1;
    return static_cast<DWORD>(sizeof(INTERNET_CACHE_ENTRY_INFOW) + units * sizeof(char16_t));
}

void FillEntryInfo(const EntryRecord& record, const std::string& root,
                   INTERNET_CACHE_ENTRY_INFOW* out) {
    INTERNET_CACHE_ENTRY_INFOW info{};
    info.dwStructSize = sizeof info;
    info.CacheEntryType = NORMAL_CACHE_ENTRY;
    info.dwUseCount = record.useCount;
    info.dwHitRate = record.hitCount;
    info.dwSizeLow = static_cast<DWORD>(record.size & 0xFFFFFFFFu);
    info.dwSizeHigh = static_cast<DWORD>(record.size >> 32);
    info.LastModifiedTime = FileTimeFromTicks(record.lastModified);
    info.ExpireTime = FileTimeFromTicks(record.expires);
    info.LastAccessTime = FileTimeFromTicks(record.lastAccess);
    info.LastSyncTime = FileTimeFromTicks(record.lastSync);
    info.dwHeaderInfoSize = static_cast<DWORD>(record.headers.size());
    auto* cursor = reinterpret_cast<char16_t*>(out + 1);
    info.lpszSourceUrlName = Place(record.url, cursor);
    info.lpszLocalFileName = Place(LocalFileText(record, root), cursor);
    info.lpHeaderInfo = Place(record.headers, cursor);
    info.lpszFileExtension = Place(record.extension, cursor);
    *out = info;
}

UrlCacheEntry ToListedEntry(const EntryRecord& record, const std::string& root) {
    UrlCacheEntry entry;
    entry.sourceUrl = record.url;
    entry.localFile = LocalFileText(record, root);
    entry.headers = record.headers;
    entry.size = record.size;
    entry.useCount = record.useCount;
    entry.lastModified = FileTimeFromTicks(record.lastModified);
    entry.lastSync = FileTimeFromTicks(record.lastSync);
    return entry;
}

} // namespace urlcache
