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

} // namespace

BodyReader::BodyReader(CHttpRequest& request, BodyUse use, DWORD status, const CVELString& headers,
                       std::FILE* spill)
    : m_bHold(IsWalkable(use, status, headers)), m_bTooLarge(false), m_pSpill(spill) {
    m_bTooLarge = m_bHold && request.m_nContentLength > kMaxWalkedPageBytes;
    m_bHold = m_bHold && !m_bTooLarge;
    if (m_bHold && m_pSpill == nullptr) {
        ReserveAnnounced(request);
    }
}

void BodyReader::Prepare(CHttpRequest& request) const {
    if (m_bHold && m_pSpill == nullptr) {
        MakeRoom(request.m_response);
    }
}

bool BodyReader::Took(CHttpRequest& request, DWORD count, FetchResult& result) {
    CVELMemBuf& body = request.m_response;
    const std::int64_t held = m_nSpilled + body.GetLength();
    if (m_bHold && held > kMaxWalkedPageBytes) {
        m_bHold = false;
        m_bTooLarge = true;
        body.FreeStorage();
    } else if (!m_bHold) {
        body.Empty();
    } else if (m_pSpill != nullptr) {
        if (!SpillPiece(request, m_pSpill)) {
            SetLastError(ERROR_DISK_FULL);
            result = FetchResult::kBodyFailed;
            return false;
        }
        m_nSpilled = held;
    }
    if (count != 0) {
        return true;
    }
    result = m_bTooLarge ? FetchResult::kTooLarge : FetchResult::kDone;
    return false;
}

bool BodyReader::Read(CHttpRequest& request, FetchResult& result) {
    for (;;) {
        Prepare(request);
        DWORD count = 0;
        const DWORD error = request.TryReadData(&count);
        if (error == ERROR_IO_PENDING) {
            return false;
        }
        if (error != 0) {
            result = FetchResult::kBodyFailed;
            return true;
        }
        if (!Took(request, count, result)) {
            return true;
        }
    }
}

namespace {

/// Reads the body to its end, holding it as BodyReader does.
FetchResult ReadBody(CHttpRequest& request, BodyReader& reader) {
    FetchResult result = FetchResult::kDone;
    for (;;) {
        reader.Prepare(request);
        DWORD count = 0;
        if (!request.ReadData(&count)) {
            return FetchResult::kBodyFailed;
        }
        if (!reader.Took(request, count, result)) {
            return result;
        }
    }
}

} // namespace

namespace {

/// The head of a request that was sent.
FetchResult ReadHead(CHttpRequest& request, const CVELString& requested, DWORD& status,
                     CVELString& headers, CVELString& finalUrl) {
    if (!request.ReadResponseHeaders(&status, headers)) {
        return FetchResult::kNoResponse;
    }
    if (!request.QueryFinalURL(finalUrl)) {
        finalUrl.Assign(requested);
    }
    return FetchResult::kDone;
}

} // namespace

FetchResult FetchHead(CHttpRequest& request, const CVELString& requested, DWORD& status,
                      CVELString& headers, CVELString& finalUrl) {
    if (!request.SendRequest()) {
        return FetchResult::kNotSent;
    }
    return ReadHead(request, requested, status, headers, finalUrl);
}

bool HeadArrived(CHttpRequest& request, const CVELString& requested, DWORD& status,
                 CVELString& headers, CVELString& finalUrl, FetchResult& result) {
    const DWORD state = request.AdvanceSend();
    if (state == ERROR_IO_PENDING) {
        return false;
    }
    result = state != 0 ? FetchResult::kNotSent
                        : ReadHead(request, requested, status, headers, finalUrl);
    return true;
}

FetchResult FetchBody(CHttpRequest& request, BodyUse use, DWORD status, const CVELString& headers,
                      std::FILE* spill) {
    BodyReader reader(request, use, status, headers, spill);
    return ReadBody(request, reader);
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
