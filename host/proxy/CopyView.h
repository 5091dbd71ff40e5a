// SPDX-License-Identifier: Apache-2.0
// The proxy's view of one kept entry (/copy?url=...): what the browser gets
// is content nobody vetted, shown under the proxy's own address.
//
// Only the proxy's own pages can lead there: a view's address carries a
// capability for that one entry, derived from a key made anew each time the
// proxy starts, which no page can read. A web page cannot load a kept script
// or page of the cache into itself, and a kept page in the view reaches the
// entries it names (their views are in its references) but can derive no
// other entry's address from its own.
// Its scripts must not read anything of the proxy's: the view goes out in a
// sandbox without the proxy's origin (its requests carry "Origin: null" and
// no proxy page answers them with CORS), and nothing is sniffed into
// another type. A kept HTML page is served with each reference resolved as
// the crawl resolved it and pointed at the view of the entry it names, so
// it shows with its kept pictures and style sheets.
#pragma once

#include <boost/beast/http/fields.hpp>

#include <string>
#include <string_view>

namespace proxy {

/// The capability for the view of the entry for `url` under the run's
/// `key`: 32 hex digits of an HMAC-SHA256 of the URL.
std::string CopyViewToken(std::string_view key, std::string_view url);

/// True when `token` is the capability for `url` under `key`.
bool CopyViewTokenMatches(std::string_view token, std::string_view key, std::string_view url);

/// Where the view of the entry for `url` is under the run's `key`:
/// "/copy?key=TOKEN&url=URL", the URL encoded.
std::string CopyViewPath(std::string_view key, std::string_view url);

/// The HTML text `html` of the page kept for `pageUrl` with every href, src
/// and background attribute pointed at the view (under `key`) of what it
/// references; a base element moves the base and is dropped. Everything
/// else is passed byte for byte.
std::string CopyViewHtml(std::string_view html, std::string_view pageUrl, std::string_view key);

/// The style sheet `css` kept for `sheetUrl` with every url(...) pointed at
/// the view of what it references.
std::string CopyViewCss(std::string_view css, std::string_view sheetUrl, std::string_view key);

/// The fields that sandbox a view and keep the browser from sniffing it.
void SetCopyViewFields(boost::beast::http::fields& fields);

} // namespace proxy
