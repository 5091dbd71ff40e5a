// The fetch every page and resource of a crawl goes through.
#pragma once

#include "foundation/VELString.h"
#include "platform/kernel/WinTypes.h"

class CHttpRequest;

/// How far FetchResponse got; the reason of a failure is the last error.
enum class FetchResult { kDone, kNotSent, kNoResponse, kBodyFailed };

/// Sends `request`, reads its status and headers, the URL it ended at
/// (`requested` when the library cannot tell) and its whole body. The
/// status is not judged here.
FetchResult FetchResponse(CHttpRequest& request, const CVELString& requested, DWORD& status,
                          CVELString& headers, CVELString& finalUrl);

/// TRUE when the header block's "Content-Type" is exactly "text/html",
/// ignoring case.
BOOL IsHtml(const CVELString& headers);
