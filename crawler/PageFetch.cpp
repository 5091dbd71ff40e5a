// SPDX-License-Identifier: Apache-2.0
#include "crawler/PageFetch.h"

#include "net/HeaderBlock.h"
#include "net/HttpRequest.h"
#include "platform/kernel/LastError.h"

#include <algorithm>
#include <cstdio>

namespace {

/// How much of an announced length a page is given before it arrives.
constexpr std::int64_t kTrustedAnnouncedBytes = std::int64_t{1} << 20;

/// Writes what the request holds of its body to `spill` and empties it;
/// false when the file took less.
bool SpillPiece(CHttpRequest& request, std::FILE* spill) {
    CVELMemBuf& body = request.m_response;
    const auto length = static_cast<std::size_t>(body.GetLength());
    const bool written = std::fwrite(body.GetData(), 1, length, spill) == length;
    body.Empty();
    return written;
}

/// Takes one block of the announced size for a body held in memory, instead
/// of one growth per read.
void ReserveAnnounced(CHttpRequest& request) {
    const std::int64_t announced = request.m_nContentLength;
    if (announced > 0) {
        // Past the first MiB the body must prove its length by arriving,
        // so a false Content-Length cannot make the crawl take 64 MiB.
        const std::int64_t first = std::min<std::int64_t>(announced, kTrustedAnnouncedBytes);
        request.m_response.Reserve(static_cast<std::int32_t>(first) +
                                   static_cast<std::int32_t>(CHttpRequest::kReadSize));
    }
}

/// Makes room for the next read in a body held in memory.
void MakeRoom(CVELMemBuf& body) {
    if (body.GetCapacity() - body.GetLength() <=
        static_cast<std::int32_t>(CHttpRequest::kReadSize)) {
        // A body of unknown length grows by doubling (up to the cap and one
        // read), not by one read at a time, which would copy it over and over.
        const std::int64_t doubled = std::int64_t{body.GetCapacity()} * 2;
        body.Reserve(static_cast<std::int32_t>(std::min<std::int64_t>(
            doubled, std::int64_t{kMaxWalkedPageBytes} + CHttpRequest::kReadSize)));
    }
}

/// Reads the body to its end, holding it (in memory, or in `spill` when
/// given) only while `hold` stays true and the body within the cap.
/// Returns kTooLarge when a held body outgrew it.
FetchResult ReadBody(CHttpRequest& request, bool hold, std::FILE* spill) {
    bool tooLarge = hold && request.m_nContentLength > kMaxWalkedPageBytes;
    hold = hold && !tooLarge;
    if (hold && spill == nullptr) {
        ReserveAnnounced(request);
    }
    std::int64_t spilled = 0;
    DWORD count = 0;
    do {
        if (hold && spill == nullptr) {
            MakeRoom(request.m_response);
        }
        if (!request.ReadData(&count)) {
            return FetchResult::kBodyFailed;
        }
        CVELMemBuf& body = request.m_response;
        const std::int64_t held = spilled + body.GetLength();
        if (hold && held > kMaxWalkedPageBytes) {
            hold = false;
            tooLarge = true;
            body.FreeStorage();
        } else if (!hold) {
            body.Empty();
        } else if (spill != nullptr) {
            if (!SpillPiece(request, spill)) {
                SetLastError(ERROR_DISK_FULL);
                return FetchResult::kBodyFailed;
            }
            spilled = held;
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

FetchResult FetchBody(CHttpRequest& request, BodyUse use, DWORD status, const CVELString& headers,
                      std::FILE* spill) {
    return ReadBody(request, IsWalkable(use, status, headers), spill);
}

bool IsWalkable(BodyUse use, DWORD status, const CVELString& headers) {
    return use == BodyUse::kWalk && status == 200 && IsHtml(headers);
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
