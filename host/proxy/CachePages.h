// SPDX-License-Identifier: Apache-2.0
// The proxy's own pages, asked for in origin form ("GET / HTTP/1.1") or by
// an absolute URL naming the proxy: an index of the cache by host, the list
// of misses, and the cached copy of one URL. The index and the list are
// also given as JSON with "?format=json".
#pragma once

#include "host/proxy/CachedCopy.h"
#include "platform/cache/MissedUrls.h"

#include <string>
#include <string_view>
#include <vector>

namespace proxy {

struct OwnPage {
    enum class Kind { Index, Missed, Copy, Pac, NotFound, BadQuery } kind = Kind::NotFound;
    bool json = false;
    std::string url; // for Copy: the URL whose cached copy is wanted
    std::string key; // for Copy: the key its address carried
};

/// Which page an origin-form target asks for: "/", "/missed",
/// "/copy?url=URL" (URL percent-encoded), "/proxy.pac".
OwnPage ParseOwnPage(std::string_view target);

struct PageBody {
    std::string contentType;
    std::string body;
};

/// What the own pages need to know of the proxy: how the browser reached
/// it ("127.0.0.1:8731") and the key of this run's copy views.
struct OwnPageContext {
    std::string authority;
    std::string copyKey;
};

PageBody IndexPage(const std::vector<ListedEntry>& entries, bool json,
                   const OwnPageContext& context);
PageBody MissedPage(const std::vector<urlcache::MissedUrl>& missed, bool json);

/// What an own page answers: a page (status and body), or for /copy the
/// URL whose cached copy to serve.
struct OwnPageAnswer {
    unsigned status = 200;
    PageBody page;
    std::string message; // for an error status
    std::string copyUrl;
};

/// Reads the cache or the list of misses for the page `target` asks for.
/// A copy is answered only for the key of `context`.
OwnPageAnswer AnswerOwnPage(std::string_view target, const OwnPageContext& context);

/// The page a browser shows for an offline miss; `proxyOrigin`
/// ("http://127.0.0.1:8731") for its link to the list of misses.
std::string NotKeptPage(const std::string& url, const std::string& proxyOrigin);

/// A short page for an error status, `message` telling what to change.
std::string ErrorPage(unsigned status, std::string_view reason, std::string_view message);

} // namespace proxy
