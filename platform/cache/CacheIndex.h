// SPDX-License-Identifier: Apache-2.0
// The cache's index: one SQLite row per URL, naming its content file and
// keeping what is known of the response.
//
// The database runs in WAL mode with a busy time-out so that several
// processes can read and write it at once. Callers group changes that must
// go together in one Transaction on Db().
//
// Rows of entries waiting for the next commit (EntryBatch.h) are kept here,
// in memory, so that the index's write lock is taken only for the moment of
// writing them: Find and ReadBody see them first, and while Staging() a Put
// of a body kept in the index keeps the row here instead of writing it.
#pragma once

#include "platform/cache/Sqlite.h"
#include "platform/cache/StoredEntry.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace urlcache {

/// The layout of the index this program makes and reads, kept in the file's
/// user_version. A file of a later layout is not opened.
constexpr int kCacheIndexVersion = 5;

struct EntryRecord {
    std::u16string url;
    std::string file; // content file name, relative to the content folder
    std::uint64_t size = 0;
    std::uint64_t lastModified = 0; // file-time ticks; 0 when unknown
    std::uint64_t expires = 0;
    std::uint64_t lastSync = 0;
    std::uint64_t lastAccess = 0;
    std::u16string headers;
    std::uint32_t useCount = 0;
    std::u16string extension;
    std::uint32_t hitCount = 0; // retrievals, kept across re-downloads
    /// The body is a BLOB in the row itself (`file` is then empty): small
    /// bodies are, so that storing one costs no file of its own.
    bool inIndex = false;
};

class CacheIndex {
  public:
    /// Opens or creates the index file `path`, bringing an index of an
    /// earlier layout to kCacheIndexVersion; null when it cannot, with the
    /// reason in `*failure` when it is given. An index made by a newer
    /// release is left untouched and fails with ERROR_REVISION_MISMATCH.
    [[nodiscard]] static std::unique_ptr<CacheIndex> Open(const std::string& path,
                                                          UrlCacheFailure* failure = nullptr);

    /// The reason of the latest failed statement, for this index's file.
    UrlCacheFailure LastFailure() const;

    sqlite3* Db() const { return m_db.get(); }

    /// The row for `url` into `found` (nullopt when none). False on a
    /// database failure.
    [[nodiscard]] bool Find(std::u16string_view url, std::optional<EntryRecord>& found);

    /// The row stored under `key` (UTF-8) into `found` (nullopt when none),
    /// with the body kept in the index when `withBody`. Its `file` is the
    /// content file's name, relative to the content folder; its marks are
    /// not read. False on a database failure.
    [[nodiscard]] bool FindStored(std::string_view key, bool withBody,
                                  std::optional<StoredEntry>& found);
    /// Every row in URL order, without bodies, `file` as FindStored gives it.
    [[nodiscard]] bool ListStored(std::vector<StoredEntry>& entries);
    /// Hits counted without a lock, for the row stored under `key` (UTF-8).
    [[nodiscard]] bool AddHits(std::string_view key, std::uint32_t hits);
    /// Removes the row stored under `key` (UTF-8).
    [[nodiscard]] bool Remove(std::string_view key);

    /// Inserts `record`, replacing any row with the same URL; `body` is the
    /// BLOB of a record kept in the index.
    [[nodiscard]] bool Put(const EntryRecord& record, std::string_view body = {});

    /// The BLOB of the row for `url` into `body`; `found` false when the row
    /// is gone or keeps its body in a file.
    [[nodiscard]] bool ReadBody(std::u16string_view url, std::string& body, bool& found);
    /// The row's body now lives in content file `file`.
    [[nodiscard]] bool MoveBodyToFile(std::u16string_view url, const std::string& file);

    [[nodiscard]] bool SetUseCount(std::u16string_view url, std::uint32_t count);
    /// One retrieval: a lock taken (use count + 1) and a hit counted.
    [[nodiscard]] bool CountRetrieval(std::u16string_view url);
    [[nodiscard]] bool Remove(std::u16string_view url);

    /// True when some row still names content file `file`.
    [[nodiscard]] bool IsFileReferenced(const std::string& file, bool& referenced);
    /// Every content file some row names.
    [[nodiscard]] bool ListNamedFiles(std::unordered_set<std::string>& files);

    /// Whether a statement that finds the database locked by another
    /// process waits for it (the default) or fails at once.
    void WaitWhenBusy(bool wait);

    [[nodiscard]] bool ListAll(std::vector<EntryRecord>& records);

    /// A small named integer kept next to the entries (the offline state).
    [[nodiscard]] bool ReadSetting(const char* name, std::int64_t& value, bool& present);
    [[nodiscard]] bool WriteSetting(const char* name, std::int64_t value);

    /// Whether a Put of a body kept in the index waits in memory.
    void SetStaging(bool staging) { m_staging = staging; }
    bool Staging() const { return m_staging; }
    bool HasWaitingRows() const { return !m_waiting.empty(); }
    /// The bytes of the bodies waiting, to bound the memory they hold.
    std::size_t WaitingBytes() const { return m_waitingBytes; }
    /// Writes the waiting rows, in the caller's write transaction; they stay
    /// waiting until ForgetWaitingRows.
    [[nodiscard]] bool WriteWaitingRows();
    void ForgetWaitingRows();
    /// Forgets the waiting row for `url`: a later one was written.
    void ForgetWaitingRow(std::u16string_view url);

    CacheIndex(SqliteDb db, std::string path) : m_db(std::move(db)), m_path(std::move(path)) {}

  private:
    struct WaitingRow {
        EntryRecord record;
        std::string body;
    };

    [[nodiscard]] bool Write(const EntryRecord& record, std::string_view body);

    SqliteDb m_db;
    std::string m_path;
    bool m_staging = false;
    std::unordered_map<std::u16string, WaitingRow> m_waiting;
    std::size_t m_waitingBytes = 0;
};

} // namespace urlcache
