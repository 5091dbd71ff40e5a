#include "crawler/PageFetch.h"

#include "net/HeaderBlock.h"
#include "net/HttpRequest.h"

FetchResult FetchResponse(CHttpRequest& request, const CVELString& requested, DWORD& status,
                          CVELString& headers, CVELString& finalUrl) {
    if (!request.SendRequest()) {
        return FetchResult::kNotSent;
    }
    if (!request.ReadResponseHeaders(&status, headers)) {
        return FetchResult::kNoResponse;
    }
    if (!request.QueryFinalURL(finalUrl)) {
        finalUrl.Assign(requested);
    }
    DWORD count = 0;
    do {
        if (!request.ReadData(&count)) {
            return FetchResult::kBodyFailed;
        }
    } while (count != 0);
    return FetchResult::kDone;
}

BOOL IsHtml(const CVELString& headers) {
    CVELString type;
    GetHeader(headers, u"Content-Type", type);
    return type.GetLength() == 9 && type.CompareNoCase(u"text/html") == 0;
}
