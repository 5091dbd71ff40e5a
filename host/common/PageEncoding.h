// SPDX-License-Identifier: Apache-2.0
// A host page's bytes decoded as a browser decodes them, so that every
// reader of the page sees the labels the person sees.
//
// The encoding is the first of: a byte-order mark (UTF-8, UTF-16LE/BE);
// the charset of the HTTP Content-Type; a <meta charset> or <meta
// http-equiv="Content-Type"> in the first 1024 bytes (where UTF-16 means
// UTF-8, since such a page is plainly not UTF-16); and when none is given,
// UTF-8 if the whole page is well-formed UTF-8, else Windows-1252 (the
// HTML default, which is also what ISO-8859-1 and US-ASCII mean). A label
// no decoder knows counts as none. Bytes that are ill-formed in the chosen
// encoding become U+FFFD each, never changing how the rest is read.
#pragma once

#include <string>
#include <string_view>

/// The charset parameter of a Content-Type value, unquoted; "" for none.
std::string CharsetOfContentType(std::string_view contentType);

struct DecodedPage {
    std::string text;     ///< UTF-8
    std::string encoding; ///< the name of the encoding used, e.g. "windows-1252"
};

/// Decodes `bytes`; `httpCharset` is the charset the server sent with them
/// ("" for a file, or when it sent none).
DecodedPage DecodePage(std::string_view bytes, std::string_view httpCharset = {});
