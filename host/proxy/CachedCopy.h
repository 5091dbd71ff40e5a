// SPDX-License-Identifier: Apache-2.0
// What the proxy serves from the URL cache: one entry's body read through a
// cache stream, and the list of entries its pages show.
#pragma once

#include "host/proxy/HeaderFields.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace proxy {

/// One locked entry; the lock is released when the copy goes.
class CachedCopy {
  public:
    /// The entry for `url`; null when the cache has none (or cannot say).
    static std::unique_ptr<CachedCopy> Open(const std::string& url);
    ~CachedCopy();
    CachedCopy(const CachedCopy&) = delete;
    CachedCopy& operator=(const CachedCopy&) = delete;

    std::uint64_t Size() const { return size_; }
    /// True when the entry was fetched over https without its certificate
    /// being verified.
    bool Unverified() const { return unverified_; }
    /// True when only this machine's user may be answered with the entry
    /// (kept by the proxy for that user).
    bool ThisMachineOnly() const { return thisMachineOnly_; }
    /// Content-Type and the other stored fields the copy is served with.
    const std::vector<HeaderField>& Fields() const { return fields_; }

    /// Copies the next bytes; `got` 0 at the end. False when the cache
    /// could not be read.
    bool Read(char* out, std::size_t capacity, std::size_t& got);

  private:
    CachedCopy() = default;

    void* stream_ = nullptr;
    std::uint64_t size_ = 0;
    std::uint64_t offset_ = 0;
    bool unverified_ = false;
    bool thisMachineOnly_ = false;
    std::vector<HeaderField> fields_;
};

struct ListedEntry {
    std::string url;
    std::uint64_t size = 0;
    std::string contentType;    // empty when the response gave none
    std::uint64_t lastSync = 0; // file-time ticks
    std::uint32_t hits = 0;     // times served from the cache
};

/// Every entry in URL order; false when the cache could not be read.
bool ListEntries(std::vector<ListedEntry>& entries);

} // namespace proxy
