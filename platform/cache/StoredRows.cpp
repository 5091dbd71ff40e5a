// SPDX-License-Identifier: Apache-2.0
// Reading rows of the index as UTF-8: SQLite keeps the index's text in
// UTF-8 already, so the native face binds and reads it as it is.
#include "platform/cache/CacheIndex.h"

#include "platform/text/AnsiCodePage.h"
#include "platform/text/Utf8.h"

#include <algorithm>

namespace urlcache {

namespace {

constexpr const char* kStoredColumns = "url, file, size, last_modified, expires, last_sync, "
                                       "last_access, headers, use_count, hits, "
                                       "body IS NOT NULL";

/// The head as the bytes it came in: the index keeps one unit per byte
/// through the code page, so each character goes back to its byte.
std::string HeadBytes(std::string_view text) {
    if (std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; })) {
        return std::string(text);
    }
    std::string out;
    out.reserve(text.size());
    for (const char16_t unit : Utf8ToUtf16(text)) {
        const int byte = AnsiUnitToByte(unit);
        out += byte < 0 ? '?' : static_cast<char>(byte);
    }
    return out;
}

StoredEntry ReadStored(const Statement& row) {
    StoredEntry entry;
    entry.url = row.Text(0);
    entry.file = row.Text(1);
    entry.size = static_cast<std::uint64_t>(row.Int(2));
    entry.lastModified = static_cast<std::uint64_t>(row.Int(3));
    entry.expires = static_cast<std::uint64_t>(row.Int(4));
    entry.lastSync = static_cast<std::uint64_t>(row.Int(5));
    entry.lastAccess = static_cast<std::uint64_t>(row.Int(6));
    entry.head = HeadBytes(row.Text(7));
    entry.useCount = static_cast<std::uint32_t>(row.Int(8));
    entry.hits = static_cast<std::uint32_t>(row.Int(9));
    entry.inIndex = row.Int(10) != 0;
    return entry;
}

StoredEntry FromRecord(const EntryRecord& record) {
    StoredEntry entry;
    entry.url = Utf16ToUtf8(record.url);
    entry.file = record.file;
    entry.size = record.size;
    entry.lastModified = record.lastModified;
    entry.expires = record.expires;
    entry.lastSync = record.lastSync;
    entry.lastAccess = record.lastAccess;
    entry.head = HeadBytes(Utf16ToUtf8(record.headers));
    entry.useCount = record.useCount;
    entry.hits = record.hitCount;
    entry.inIndex = record.inIndex;
    return entry;
}

} // namespace

bool CacheIndex::FindStored(std::string_view key, bool withBody,
                            std::optional<StoredEntry>& found) {
    found.reset();
    if (!m_waiting.empty()) {
        // Rows waiting for the batch are few and keyed as the shim keys them.
        if (const auto row = m_waiting.find(Utf8ToUtf16(key)); row != m_waiting.end()) {
            found = FromRecord(row->second.record);
            if (withBody) {
                found->body = row->second.body;
            }
            return true;
        }
    }
    static const std::string plain =
        std::string("SELECT ") + kStoredColumns + ", NULL FROM entries WHERE url = ?1";
    static const std::string bodied =
        std::string("SELECT ") + kStoredColumns + ", body FROM entries WHERE url = ?1";
    Statement query(m_db.get(), withBody ? bodied.c_str() : plain.c_str());
    query.Bind(1, key);
    if (query.Step()) {
        found = ReadStored(query);
        found->body = query.BlobBytes(11);
    }
    return !query.Failed();
}

bool CacheIndex::ListStored(std::vector<StoredEntry>& entries) {
    static const std::string sql =
        std::string("SELECT ") + kStoredColumns + " FROM entries ORDER BY url";
    Statement query(m_db.get(), sql.c_str());
    entries.clear();
    while (query.Step()) {
        entries.push_back(ReadStored(query));
    }
    return !query.Failed();
}

bool CacheIndex::AddHits(std::string_view key, std::uint32_t hits) {
    Statement update(m_db.get(), "UPDATE entries SET hits = hits + ?2 WHERE url = ?1");
    update.Bind(1, key).Bind(2, static_cast<std::int64_t>(hits));
    update.Step();
    return !update.Failed();
}

bool CacheIndex::Remove(std::string_view key) {
    Statement remove(m_db.get(), "DELETE FROM entries WHERE url = ?1");
    remove.Bind(1, key);
    remove.Step();
    return !remove.Failed();
}

} // namespace urlcache
