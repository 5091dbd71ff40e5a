// SPDX-License-Identifier: Apache-2.0
// The fetch every page and resource of a crawl goes through.
//
// Only a page the crawl may walk is held in memory, and only up to
// kMaxWalkedPageBytes; every other body is read through and dropped piece
// by piece (the internet library keeps what the cache should have), so a
// fetch costs the same memory whatever the size of what it fetches.
#pragma once

#include "crawler/CrawlReport.h"
#include "foundation/VELString.h"
#include "platform/kernel/WinTypes.h"

#include <cstdint>
#include <cstdio>
#include <functional>

class CHttpRequest;

/// How far FetchResponse got; the reason of a failure is the last error.
enum class FetchResult {
    kDone,
    kNotSent,
    kNoResponse,
    kBodyFailed,
    kTooLarge, ///< a page that could be walked, read to its end but larger than the cap
};

/// What the caller does with the body.
enum class BodyUse {
    kDrop, ///< nothing: it is read through and dropped
    kWalk, ///< walk it when it comes with status 200 as "text/html"
};

/// Sends `request` and reads its status, headers and the URL it ended at
/// (`requested` when the library cannot tell); the body is left unread.
/// kDone once the head is read.
FetchResult FetchHead(CHttpRequest& request, const CVELString& requested, DWORD& status,
                      CVELString& headers, CVELString& finalUrl);

/// FetchHead for a request sent with CHttpRequest::BeginSend: false while
/// its head is still to come; else true, with FetchHead's outcome in
/// `result` and what it reads.
bool HeadArrived(CHttpRequest& request, const CVELString& requested, DWORD& status,
                 CVELString& headers, CVELString& finalUrl, FetchResult& result);

/// Reads to its end the body of a request whose head FetchHead read, as
/// FetchResponse does; the library writes the cache when the end is read.
/// With `spill`, a body to be walked is written there instead of held in
/// `m_response` (kBodyFailed with ERROR_DISK_FULL when the file took less).
FetchResult FetchBody(CHttpRequest& request, BodyUse use, DWORD status, const CVELString& headers,
                      std::FILE* spill = nullptr);

/// Whether FetchBody holds the body of such a response for walking.
bool IsWalkable(BodyUse use, DWORD status, const CVELString& headers);

/// FetchBody for a caller that does not wait: reads what has come of the
/// body of a request sent with CHttpRequest::BeginSend, as FetchBody would.
class BodyReader {
  public:
    BodyReader(CHttpRequest& request, BodyUse use, DWORD status, const CVELString& headers,
               std::FILE* spill = nullptr);
    /// Reads what has come: false while the body goes on; true once it is
    /// over, with the outcome FetchBody would give in `result`.
    bool Read(CHttpRequest& request, FetchResult& result);
    /// Takes in what one read of `request` brought; false once the body is
    /// no longer to be read, the outcome in `result` (ReadBody's piece).
    bool Took(CHttpRequest& request, DWORD count, FetchResult& result);
    /// Makes room for the next read.
    void Prepare(CHttpRequest& request) const;

  private:
    bool m_bHold;
    bool m_bTooLarge;
    std::FILE* m_pSpill;
    std::int64_t m_nSpilled = 0;
};

/// Sends `request`, reads its status and headers, the URL it ended at
/// (`requested` when the library cannot tell) and its body to the end. For
/// kWalk and an HTML page with status 200 the body is left whole in the
/// request's `m_response` (or kTooLarge is returned); otherwise the body is
/// not kept. The status is not judged here. `onHead`, when set, hears the
/// final URL as soon as the last response's head is read, before the body.
FetchResult FetchResponse(CHttpRequest& request, const CVELString& requested, BodyUse use,
                          DWORD& status, CVELString& headers, CVELString& finalUrl,
                          const std::function<void(const CVELString&)>& onHead = {});

/// TRUE when the header block's "Content-Type" is exactly "text/html",
/// ignoring case.
BOOL IsHtml(const CVELString& headers);
