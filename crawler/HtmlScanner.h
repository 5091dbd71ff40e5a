// SPDX-License-Identifier: Apache-2.0
// The crawler's HTML tag scanner.
//
// Not a parser: GetNextHtmlTag cuts the next tag text ("<" through the ">"
// that ends it, comments whole) out of a page, and ParseHtmlTag splits one
// tag text into its first word and its attributes, kept exactly as written
// (case, quotes and character references untouched). Both work on UTF-16
// units, go forward only and look at each unit once. The scratch buffers of
// the parser live in a CHtmlTagBuffers that the page walk keeps for a whole
// page, so that tags after the first cost no allocation.
#pragma once

#include "foundation/VELString.h"
#include "foundation/VELStringPairList.h"
#include "platform/kernel/WinTypes.h"

#include <cstdint>

/// Scratch storage of ParseHtmlTag: the name and value being gathered. Its
/// contents mean nothing between calls; only its grown capacity is worth
/// keeping. One object serves one thread.
struct CHtmlTagBuffers {
    CVELString m_strName;
    CVELString m_strValue;
};

/// Finds the next tag text in `page` at or after `pos`. On TRUE, `tag` holds
/// the text from a "<" through its ending ">" and `pos` stands just past it;
/// a text beginning with "<!--" is a comment, ending at the first ">" after
/// two hyphens. On FALSE (no further complete tag, or a comment without an
/// end), `tag` is empty and `pos` is the length of the page.
/// Requires 0 <= pos.
BOOL GetNextHtmlTag(const CVELString& page, std::int32_t& pos, CVELString& tag);

/// Splits the tag text `tagText` of `length` units into `tagName` (its first
/// word) and `attributes` (emptied first, then one pair per attribute in the
/// order written). The units taken are those after the first and before the
/// last of the text; zero units among them are ordinary characters, except
/// that an attribute name is stored up to its first zero unit. Returns TRUE
/// when a non-empty tag name was found; FALSE when there is none or the text
/// is malformed, with the outputs holding what was gathered until then. Once
/// `attributes` refuses a pair (it is full), the rest of the tag's pairs are
/// dropped. Requires `length` >= 0 units readable at `tagText`.
BOOL ParseHtmlTag(const char16_t* tagText, std::int32_t length, CVELString& tagName,
                  CVELStringPairList& attributes, CHtmlTagBuffers& buffers);

/// As above, with the whole of `tag` (its length, zero units included).
BOOL ParseHtmlTag(const CVELString& tag, CVELString& tagName, CVELStringPairList& attributes,
                  CHtmlTagBuffers& buffers);

/// As above for zero-terminated `tagText`: the text ends at its first zero
/// unit. Scratch buffers are kept per thread.
BOOL ParseHtmlTag(const char16_t* tagText, CVELString& tagName, CVELStringPairList& attributes);
