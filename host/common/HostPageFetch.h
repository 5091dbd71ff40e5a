// SPDX-License-Identifier: Apache-2.0
// Getting the bytes of a host page, from a file or over http(s), for
// ReadHostPage. The reasons given on failure are phrased to follow the
// page's name in a message ("host page X: <reason>").
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

/// A host page is a small HTML file; a bigger one is refused rather than
/// read whole into memory (and it must fit libxml2's int-sized buffers).
constexpr std::size_t kMaxHostPageBytes = std::size_t{16} << 20;

/// The reason given for a page above kMaxHostPageBytes.
std::string PageTooLargeReason();

/// The bytes of a page, or the reason there are none.
struct PageBytes {
    bool ok = false;
    std::string bytes;
    std::string reason;
    std::string charset; ///< the charset the server named in Content-Type, if any
};

/// True when `argument` has the form "scheme://…", whatever the scheme:
/// such an argument is meant as an address, never as a file name.
bool LooksLikeUrl(std::string_view argument);

/// Reads the whole file at `path`.
PageBytes ReadPageFile(const std::string& path);

/// Fetches `url` with one GET through the module's internet session, which
/// the caller has opened. Only http and https URLs are accepted.
PageBytes FetchPageUrl(const std::string& url);
