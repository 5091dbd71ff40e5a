// SPDX-License-Identifier: Apache-2.0
#include "crawler/PageFetch.h"

#include "net/HeaderBlock.h"
#include "net/HttpRequest.h"

#include <algorithm>

namespace {

/// How much of an announced length a page is given before it arrives.
constexpr std::int64_t kTrustedAnnouncedBytes = std::int64_t{1} << 20;

/// Reads the body to its end, holding it only while `hold` stays true and
/// the body within the cap. Returns kTooLarge when a held body outgrew it.
FetchResult ReadBody(CHttpRequest& request, bool hold) {
    const std::int64_t announced = request.m_nContentLength;
    bool tooLarge = hold && announced > kMaxWalkedPageBytes;
    hold = hold && !tooLarge;
    if (hold && announced > 0) {
        // One block of the announced size instead of one growth per read;
        // past the first MiB the body must prove its length by arriving,
        // so a false Content-Length cannot make the crawl take 64 MiB.
        const std::int64_t first = std::min<std::int64_t>(announced, kTrustedAnnouncedBytes);
        request.m_response.Reserve(static_cast<std::int32_t>(first) +
                                   static_cast<std::int32_t>(CHttpRequest::kReadSize));
    }
    DWORD count = 0;
    do {
        CVELMemBuf& body = request.m_response;
        if (hold && body.GetCapacity() - body.GetLength() <=
                        static_cast<std::int32_t>(CHttpRequest::kReadSize)) {
            // A body of unknown length grows by doubling (up to the cap and
            // one read), not by one read at a time, which would copy it over
            // and over.
            const std::int64_t doubled = std::int64_t{body.GetCapacity()} * 2;
            body.Reserve(static_cast<std::int32_t>(std::min<std::int64_t>(
                doubled, std::int64_t{kMaxWalkedPageBytes} + CHttpRequest::kReadSize)));
        }
        if (!request.ReadData(&count)) {
            return FetchResult::kBodyFailed;
        }
        if (hold && request.m_response.GetLength() > kMaxWalkedPageBytes) {
            hold = false;
            tooLarge = true;
            request.m_response.FreeStorage();
        } else if (!hold) {
            request.m_response.Empty();
        }
    } while (count != 0);
    return tooLarge ? FetchResult::kTooLarge : FetchResult::kDone;
}

} // namespace

FetchResult FetchHead(CHttpRequest& request, const CVELString& requested, DWORD& status,
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
    return FetchResult::kDone;
}

FetchResult FetchBody(CHttpRequest& request, BodyUse use, DWORD status, const CVELString& headers) {
    return ReadBody(request, use == BodyUse::kWalk && status == 200 && IsHtml(headers));
}

FetchResult FetchResponse(CHttpRequest& request, const CVELString& requested, BodyUse use,
                          DWORD& status, CVELString& headers, CVELString& finalUrl,
                          const std::function<void(const CVELString&)>& onHead) {
    const FetchResult head = FetchHead(request, requested, status, headers, finalUrl);
    if (head != FetchResult::kDone) {
        return head;
    }
    if (onHead) {
        onHead(finalUrl);
    }
    return FetchBody(request, use, status, headers);
}

BOOL IsHtml(const CVELString& headers) {
    CVELString type;
    GetHeader(headers, u"Content-Type", type);
    return type.GetLength() == 9 && type.CompareNoCase(u"text/html") == 0;
}
