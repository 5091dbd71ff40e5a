// SPDX-License-Identifier: Apache-2.0
// Stores one response in the URL cache while its body streams past.
//
// A body of up to kInlineBodyBytes is kept in memory and stored as a BLOB
// in its index rows, in the same transaction: no file, no inode, and the
// entry is whole or absent whatever happens. A larger body goes to a locked
// temporary as it arrives (the bytes held so far first); Commit takes the
// index's write lock, moves the file into the content folder and writes the
// index rows in one transaction, so a row never names a partial file; a
// writer destroyed without Commit deletes its temporary, and a file left by
// a process killed before the rows were committed is swept when the cache is
// next opened (ContentSweep.h).
#pragma once

#include "platform/cache/CacheFailure.h"
#include "platform/cache/CacheIndex.h"
#include "platform/cache/ContentFiles.h"
#include "platform/cache/EntryBatch.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace urlcache {

struct ResponseFacts {
    std::vector<std::u16string> urls; // every URL the response is stored under
    std::u16string headers;           // raw CR LF header text
    std::uint64_t lastModified = 0;   // file-time ticks, 0 when unknown
    std::uint64_t expires = 0;
    std::u16string extension; // of the content file, without the dot
};

/// The largest body kept in the index. Measured with bench_blob_threshold
/// in a folder where many files were deleted before, as a cache folder is
/// once downloads replace each other: up to 128 KiB a BLOB written and read
/// back costs less than a file of its own, above 256 KiB the file is
/// cheaper. (In a folder that never saw deletions files win from about
/// 8 KiB on, but a cache does not stay like that.)
constexpr std::size_t kInlineBodyBytes = std::size_t{128} * 1024;

class CacheWriter {
  public:
    /// A writer for the cache as it is now; null when the cache is
    /// unusable, with the reason in `failure`.
    static std::unique_ptr<CacheWriter> Begin(UrlCacheFailure& failure);

    explicit CacheWriter(std::string root);

    /// False when the bytes could not be written; the writer is then useless.
    [[nodiscard]] bool Append(const char* data, std::size_t size);

    /// Stores the response under every URL of `facts` (in the form
    /// CacheKeyOf gives), replacing older entries (their locks carry over to
    /// the new content) and deleting content files no row names any more.
    /// The synchronization time is the moment of the commit.
    [[nodiscard]] bool Commit(const ResponseFacts& facts);

    /// Why Append or Commit failed.
    const UrlCacheFailure& Failure() const { return m_failure; }

    /// Lets a committed entry whose body is kept in the index wait in the
    /// batch of entries (EntryBatch.h); `report` is made if that batch later
    /// cannot be committed. Without one, Commit commits at once.
    void ReportLateFailure(LateFailureReport report) { m_lateReport = std::move(report); }

  private:
    [[nodiscard]] bool CommitFile(const ResponseFacts& facts, EntryRecord& base);

    std::string m_root;
    std::string m_held;                      // the body while it is small
    std::optional<PendingContent> m_content; // the temporary, once it is not
    std::uint64_t m_size = 0;
    bool m_broken = false;
    UrlCacheFailure m_failure;
    LateFailureReport m_lateReport;
};

} // namespace urlcache

namespace urlcache {

/// The extension for a content file from the URL's last path segment: the
/// letters and digits after its last ".", at most 8 of them; empty when the
/// segment has none.
std::u16string ExtensionFromUrl(std::u16string_view url);

} // namespace urlcache
