// SPDX-License-Identifier: Apache-2.0
// Owning wrappers for libcurl's handles, and its one-time global set-up.
#pragma once

#include <curl/curl.h>

#include <memory>

namespace inet {

struct CurlEasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct CurlMultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct CurlShareDeleter {
    void operator()(CURLSH* share) const { curl_share_cleanup(share); }
};
struct CurlSlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;
using CurlMulti = std::unique_ptr<CURLM, CurlMultiDeleter>;
using CurlShare = std::unique_ptr<CURLSH, CurlShareDeleter>;
using CurlSlist = std::unique_ptr<curl_slist, CurlSlistDeleter>;

/// Runs curl_global_init once per process, before the first handle is made.
/// Returns false when libcurl could not start.
bool EnsureCurlReady();

} // namespace inet
