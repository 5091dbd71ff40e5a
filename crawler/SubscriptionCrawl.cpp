// SPDX-License-Identifier: Apache-2.0
// The crawl of one subscription and the driver around it.
#include "crawler/CrawlScheduler.h"
#include "crawler/PageFetch.h"
#include "crawler/Subscription.h"
#include "framework/ui/Button.h"
#include "net/Encoding.h"
#include "net/HttpRequest.h"
#include "net/Url.h"
#include "platform/kernel/LastError.h"
#include "platform/kernel/Stack.h"

#include <algorithm>
#include <memory>
#include <new>

namespace {

/// The crawl thread's stack: room for walks tens of thousands of pages deep.
/// Only the pages a walk actually goes down take memory from it.
constexpr std::size_t kCrawlStackBytes = std::size_t{256} << 20;

/// The crawl state that holds one synchronization's values only while its
/// crawl runs; cleared however the crawl ends.
class CrawlSettings {
  public:
    CrawlSettings(CSubscription& slot, DWORD low, DWORD high, const CVELString& headers,
                  BOOL followOutsideLinks)
        : m_slot(slot) {
        m_slot.m_syncStart = {low, high};
        m_slot.m_bOutsideLinks = followOutsideLinks;
        m_slot.m_requestHeaders.Assign(headers);
    }
    ~CrawlSettings() {
        m_slot.m_requestHeaders.Empty();
        m_slot.m_bOutsideLinks = FALSE;
    }
    CrawlSettings(const CrawlSettings&) = delete;
    CrawlSettings& operator=(const CrawlSettings&) = delete;

  private:
    CSubscription& m_slot;
};

CVELString StartUrl(const CVELString& orxPath, const CVELString& startQuery) {
    CVELString url(orxPath);
    if (url.Find(u'?') < 0) {
        url.AppendChar(u'?');
    }
    CVELString query(startQuery);
    URLEncode(query);
    url.Append(query);
    return url;
}

} // namespace

BOOL CSubscription::Synchronize(DWORD startLow, DWORD startHigh, const CVELString& orxPath,
                                const CVELString& requestHeaders, BOOL followOutsideLinks) {
    m_report = CCrawlReport();
    if (m_name.GetLength() == 0 || !m_bSelectionApplied) {
        return TRUE;
    }
    std::int32_t depth = m_nDepthDefault;
    if (m_pSubscriptionBox != nullptr && m_pIncludeLinksBox != nullptr) {
        if (m_pSubscriptionBox->GetCheck() != BST_CHECKED) {
            return TRUE;
        }
        if (m_pIncludeLinksBox->GetCheck() == BST_CHECKED) {
            depth = m_nDepthIncludeLinks;
        }
    }
    m_report.m_bCrawled = TRUE;
    BOOL result = FALSE;
    // The walk recurses once per page it goes down, as deep as the page's
    // configuration allows: it gets a stack to match, and a guard in the
    // walk keeps it from ever running out.
    RunOnLargeStack(kCrawlStackBytes, [&] {
        // Running out of memory ends this subscription as failed; every
        // object of the crawl is released on the way out and the cache is
        // only ever written whole, so nothing is left half-done.
        try {
            const CVELString url = StartUrl(orxPath, m_startQuery);
            m_report.m_startUrl.Assign(url);
            const CrawlSettings settings(*this, startLow, startHigh, requestHeaders,
                                         followOutsideLinks);
            result = CreateSubscription(url, depth);
            return;
        } catch (CVELString*) {
        } catch (CVELMemBuf*) {
        } catch (const std::bad_alloc&) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        }
        m_report.m_step = CCrawlReport::Step::kNoRoom;
        m_report.m_dwError = GetLastError();
    });
    return result;
}

BOOL CSubscription::CreateSubscription(const CVELString& startUrl, std::int32_t depth) {
    using Step = CCrawlReport::Step;
    m_report.m_step = Step::kNone;
    m_report.m_nNotWalked = 0;
    m_report.m_nTooLarge = 0;
    m_report.m_tooLarge.Empty();
    const auto fail = [this](Step step) {
        m_report.m_step = step;
        m_report.m_dwError = GetLastError();
        return FALSE;
    };
    auto request = std::make_unique<CHttpRequest>();
    if (!ParseURL(startUrl.GetData(), request->m_host, request->m_path, &request->m_nPort,
                  &request->m_bSecure)) {
        return fail(Step::kStartUrl);
    }
    m_startHost.Assign(request->m_host);
    AppendPort(m_startHost, request->m_nPort, request->m_bSecure);

    DWORD status = 0;
    CVELString headers;
    CVELString finalUrl;
    if (!TNeedToRetrieveURL(startUrl.GetData(), *request, TRUE)) {
        m_report.m_refusal = m_lastRefusal;
        m_report.m_refused.Assign(m_lastRefused);
        return fail(Step::kRefused);
    }
    const FetchResult fetched =
        FetchResponse(*request, startUrl, BodyUse::kWalk, status, headers, finalUrl);
    switch (fetched) {
    case FetchResult::kNotSent:
        return fail(Step::kSend);
    case FetchResult::kNoResponse:
        return fail(Step::kResponse);
    case FetchResult::kBodyFailed:
        return fail(Step::kBody);
    case FetchResult::kDone:
    case FetchResult::kTooLarge:
        break;
    }
    m_report.m_dwStatus = status;
    if (status != 200) {
        return fail(Step::kStatus);
    }
    if (!IsHtml(headers)) {
        return TRUE; // fetched; nothing in it is followed
    }
    CVELString host;
    CVELString path;
    INTERNET_PORT port = 0;
    BOOL secure = FALSE;
    if (!ParseURL(finalUrl.GetData(), host, path, &port, &secure)) {
        return fail(Step::kFinalUrl);
    }
    if (fetched == FetchResult::kTooLarge) {
        NoteTooLarge(startUrl);
        return TRUE; // fetched whole; too large to be walked
    }
    const auto page = std::make_unique<CVELString>(request->m_response);
    const CVELString head[3] = {request->m_host, finalUrl, headers};
    request.reset();
    WalkStartPage(*page, head, depth);
    return TRUE;
}

void CSubscription::WalkStartPage(const CVELString& page, const CVELString (&head)[3],
                                  std::int32_t depth) {
    const CVELString& url = head[1];
    if (m_nConnections <= 1) {
        CrawlHtmlPage(page, url.GetData(), depth);
        return;
    }
    // The crawl is over only when every resource handed over has been
    // fetched; the scheduler's destructor waits for that, however the walk
    // ends. It outlives the walk's pages, which drop what they did not claim.
    CCrawlScheduler scheduler(m_nConnections, m_startHost, m_syncStart);
    scheduler.NoteResponse(head[0], head[1], head[2]); // the start page may set a cookie too
    m_pScheduler = &scheduler;
    struct Detach {
        CCrawlScheduler*& scheduler;
        ~Detach() { scheduler = nullptr; }
    } detach{m_pScheduler};
    CrawlHtmlPage(page, url.GetData(), depth);
    scheduler.Wait();
}

void CSubscription::NoteTooLarge(const CVELString& url) {
    if (m_report.m_nTooLarge++ == 0) {
        m_report.m_tooLarge.Assign(url);
    }
}
