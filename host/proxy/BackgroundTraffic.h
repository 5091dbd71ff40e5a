// SPDX-License-Identifier: Apache-2.0
// Which requests a browser makes on its own, for nobody's reading: they are
// not noted as missed, so that `fetch --missed` fetches what a person
// wanted, not the browser's time, update and connectivity checks (each with
// a query string of its own) or its icons.
//
// The rule: an icon (a last path segment starting "favicon" or
// "apple-touch-icon"), a request marked as a prefetch, prerender or
// preview, and a request that carries neither a Referer nor an Accept
// naming text/html are the browser's own. A page a person opens names
// text/html in its Accept, and what a page embeds carries it as Referer.
#pragma once

#include <string>
#include <string_view>

namespace proxy {

/// What the rule looks at in one request.
struct RequestSigns {
    std::string_view target;  // the URL or path asked for, with its query
    std::string_view referer; // empty when absent
    std::string_view accept;  // empty when absent
    std::string_view purpose; // Purpose, Sec-Purpose, X-Moz and X-Purpose, joined
};

/// True for a request the browser made on its own.
bool IsBackgroundTraffic(const RequestSigns& signs);

/// The signs of `url` asked for with `fields` (HTTP header fields that
/// answer operator[] with a name, as Beast's do). `purposes` keeps the
/// joined purpose fields the result points into.
template <class Fields>
RequestSigns SignsOf(std::string_view url, const Fields& fields, std::string& purposes) {
    purposes.clear();
    for (const char* name : {"Purpose", "Sec-Purpose", "X-Moz", "X-Purpose"}) {
        purposes.append(fields[name]).append(";");
    }
    return {url, fields["Referer"], fields["Accept"], purposes};
}

} // namespace proxy
