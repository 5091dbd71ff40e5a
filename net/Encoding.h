// SPDX-License-Identifier: Apache-2.0
// In-place text transforms for link texts and query strings on their way
// between HTML, configuration and HTTP.
//
// `UnquoteString` and `CollapseAmpEntities` clean an attribute value taken
// from a tag before it is resolved as a link; `URLEncode` percent-encodes a
// configured query before it is appended to a start URL. All work on UTF-16
// code units, run in time linear in the text, and fail only by the string's
// allocation failure.
#pragma once

#include "foundation/VELString.h"

/// Removes a matching pair of enclosing quotes ('"' or '\'') and then the
/// backslash escapes inside: "\f", "\n", "\r" and "\t" become form feed,
/// line feed, carriage return and tab; a backslash before any other unit
/// keeps that unit; a trailing lone backslash is dropped. A text under two
/// units or without a matching pair stays unchanged. Never lengthens.
void UnquoteString(CVELString& text);

/// Collapses each "&amp;" to "&", one level only: "&amp;amp;" becomes
/// "&amp;". Never lengthens.
void CollapseAmpEntities(CVELString& text);

/// Percent-encodes `text` for a query string: a space becomes "+"; ASCII
/// letters and digits, the units of ";/?:@&=+!*'(),$-_." and escapes that
/// are already valid ("%" and two hex digits) stay; a unit up to U+00FF
/// becomes "%XX" of its value; a character above U+00FF becomes "%XX" of
/// each of its UTF-8 bytes (a lone surrogate as U+FFFD). Hex digits are
/// upper case. Encoding an encoded text again leaves it as it is.
void URLEncode(CVELString& text);
