// SPDX-License-Identifier: Apache-2.0
// One cache entry as the native face gives it: UTF-8 texts, the response
// head as the bytes it came in, and where its body is.
#pragma once

#include <cstdint>
#include <string>

namespace urlcache {

struct StoredEntry {
    std::string url;  ///< the URL the entry is stored under (its cache key)
    std::string head; ///< the kept response head: status line and fields, CR LF ended
    /// Full path of the content file; empty when the body is kept in the index.
    std::string file;
    /// The body when it is held in memory: one kept in the index (a look
    /// gives it), or a small file's read whole for an opened copy.
    std::string body;
    std::uint64_t size = 0;
    // File-time ticks (100 ns since 1601), 0 when unknown.
    std::uint64_t lastModified = 0;
    std::uint64_t expires = 0;
    std::uint64_t lastSync = 0; ///< when the content was downloaded
    std::uint64_t lastAccess = 0;
    std::uint32_t useCount = 0; ///< locks held on the entry's file
    std::uint32_t hits = 0;     ///< retrievals, kept across re-downloads
    bool inIndex = false;       ///< the body is kept in the index, not in `file`
    // The entry's marks, read from its head.
    bool unverified = false;      ///< fetched over https without verifying the certificate
    bool thisMachineOnly = false; ///< only this machine's user may be answered with it
};

} // namespace urlcache
