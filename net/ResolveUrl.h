// SPDX-License-Identifier: Apache-2.0
// Turning a link found in a page into an absolute http or https URL.
//
// A compact base-plus-reference resolution: absolute and network-path
// references are taken as they are (a network path always as http), an
// absolute-path reference keeps only the base's scheme, host and port, and
// a relative path is appended to the base's directory after its leading
// "./" and "../" have been consumed. Dot segments inside the reference stay,
// and the reference's fragment is carried into the result.
#pragma once

#include "foundation/VELString.h"
#include "platform/kernel/WinTypes.h"

/// Resolves the NUL-ended `ref` against the NUL-ended absolute URL `base`.
/// Returns 1 and overwrites `out` with a URL that `ParseURL` accepts.
/// Returns 0 and leaves `out` unchanged when `ref` carries a scheme other
/// than http or https (a ":" before its first "/"), when `ref` is not
/// absolute and `base` does not parse, or when a network-path reference
/// leaves no host or a host whose port does not parse.
BOOL ResolveURL(const char16_t* base, const char16_t* ref, CVELString& out);
