// SPDX-License-Identifier: Apache-2.0
// Header blocks: a set of HTTP headers held as one CVELString of lines.
//
// Each line is a name, ": ", a value and CR LF. Request headers, response
// headers and the configured extra headers all use this form, and the text
// goes to the internet library unchanged. There is no parsed header object:
// every operation scans the text. Names match case-insensitively (A-Z only)
// and whole; text after the last CR LF is not a line and is never touched;
// a line without ": " has no name and is never found.
#pragma once

#include "foundation/VELString.h"
#include "platform/kernel/WinTypes.h"

/// Every non-empty value of the lines named `name`, joined with "; ".
/// Returns TRUE when the result is non-empty.
BOOL GetHeader(const CVELString& block, const char16_t* name, CVELString& value);

/// Deletes every line named `name`, CR LF included; other lines keep their order.
void RemoveHeader(CVELString& block, const char16_t* name);

/// Appends the line `name`, ": ", `value`, CR LF, whatever the block holds.
void AddHeader(CVELString& block, const char16_t* name, const char16_t* value);

/// RemoveHeader then AddHeader: the header ends up once, as the last line.
void SetHeader(CVELString& block, const char16_t* name, const char16_t* value);

/// Appends each CR LF-ended line of `text` that holds ": ", unchanged;
/// other lines and text after the last CR LF are dropped.
void AddHeaderLines(CVELString& block, const char16_t* text);

/// Empties the block, then AddHeaderLines.
void SetHeaderLines(CVELString& block, const char16_t* text);
