// Stores one response in the URL cache while its body streams past.
//
// The body goes to a locked temporary as it arrives. Commit makes the file
// durable, moves it into the content folder and only then writes the index
// rows in one transaction, so a row never names a partial file; a writer
// destroyed without Commit deletes its temporary.
#pragma once

#include "platform/cache/CacheFailure.h"
#include "platform/cache/ContentFiles.h"

#include <cstdint>
#include <memory>
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

class CacheWriter {
  public:
    /// A writer with a fresh temporary; null when the cache is unusable,
    /// with the reason in `failure`.
    static std::unique_ptr<CacheWriter> Begin(UrlCacheFailure& failure);

    explicit CacheWriter(std::string root, PendingContent content);

    /// False when the bytes could not be written; the writer is then useless.
    bool Append(const char* data, std::size_t size);

    /// Stores the response under every URL of `facts` (in the form
    /// CacheKeyOf gives), replacing older entries (their locks carry over to
    /// the new content) and deleting content files no row names any more.
    /// The synchronization time is the moment of the commit.
    bool Commit(const ResponseFacts& facts);

    /// Why Append or Commit failed.
    const UrlCacheFailure& Failure() const { return failure_; }

  private:
    std::string root_;
    PendingContent content_;
    std::uint64_t size_ = 0;
    bool broken_ = false;
    UrlCacheFailure failure_;
};

} // namespace urlcache

namespace urlcache {

/// The extension for a content file from the URL's last path segment: the
/// letters and digits after its last ".", at most 8 of them; empty when the
/// segment has none.
std::u16string ExtensionFromUrl(std::u16string_view url);

} // namespace urlcache
