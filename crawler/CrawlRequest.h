// SPDX-License-Identifier: Apache-2.0
// How every request of a crawl goes out, in one place: the crawl's walk and
// `dravik fetch` both ready their requests here, so the two cannot drift.
#pragma once

#include "net/HttpRequest.h"
#include "platform/kernel/FileTime.h"

/// Readies `request` as every request of a crawl goes out: always from the
/// network, redirects between http and https followed, marked as a
/// hyperlink; the configured header lines `headers` (CRLF-separated; null
/// for none) without Referer, Connection or If-modified-since; the
/// crawler's User-agent; and a Host naming the request's own address.
void PrepareCrawlRequest(CHttpRequest& request, const char16_t* headers);

/// What a request to a host other than the start host adds: its response is
/// kept in the URL cache as a file, and the configured "Cookie" and
/// "Authorization" stay behind.
void PrepareOtherHostRequest(CHttpRequest& request);

/// TRUE when the URL cache holds an entry for `url` downloaded at or after
/// `since` (a synchronization's start): one this run has already fetched.
BOOL DownloadedThisRun(const char16_t* url, const FILETIME& since);
