// SPDX-License-Identifier: Apache-2.0
// What a run leaves for the user to read after the
// configured messages: why the failed subscription failed, what the page
// left empty, which choices could not be saved and what the URL cache could
// not keep. The panel and the crawl only record these; the words are here.
#pragma once

#include "platform/cache/CacheFailure.h"

#include <iosfwd>
#include <string>
#include <vector>

class HostedControl;

/// Warnings about the page's Info.HttpRequestHeaders: lines that are never
/// sent (a bare CR or LF inside, no ": ", no CR LF at the end), one
/// message per line, ready to print.
std::vector<std::string> RequestHeaderWarnings(std::u16string_view headers);

/// Writes to `out`, each line starting with `prefix` ("dravik sync: "),
/// what the last press of Synchronize on `control`'s panel leaves to say,
/// and returns the exit status: `status` as the run's outcome gave it,
/// raised to kExitCache when the URL cache could not keep a response.
int ReportRun(std::ostream& out, const std::string& prefix, HostedControl& control,
              const std::vector<UrlCacheFailure>& cacheFailures, int status);

/// Writes one line per file and reason the URL cache failed on (counting
/// the responses it could not keep) and returns `status`, raised to
/// kExitCache when there was any.
int ReportCacheFailures(std::ostream& out, const std::string& prefix,
                        const std::vector<UrlCacheFailure>& failures, int status);

/// "FILE: reason (error N)" for a cache failure; without "FILE: " when it
/// names no file.
std::string CacheFailureText(const UrlCacheFailure& failure);

/// A text for messages: control characters written as \n, \r, \t or \xNN,
/// so a name with a line break shows as one line.
std::string Printable(std::u16string_view text);
