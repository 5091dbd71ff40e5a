// SPDX-License-Identifier: Apache-2.0
// Turns the reference one tag carries into a request ready to be judged.
#pragma once

#include "foundation/VELString.h"
#include "platform/kernel/WinTypes.h"

class CHttpRequest;

/// Removes the reference's quotes and escapes and collapses "&amp;", then
/// resolves it against `base` into `resolved` and parses that into the
/// request's URL parts, without the fragment (the resolved text keeps it).
/// FALSE for an empty or fragment-only reference and for one that does not
/// resolve to an http or https URL.
BOOL ResolveReference(const char16_t* base, CHttpRequest& request, CVELString& reference,
                      CVELString& resolved);
