// The crawl of one subscription and the driver around it.
#include "crawler/PageFetch.h"
#include "crawler/Subscription.h"
#include "net/Encoding.h"
#include "net/HttpRequest.h"
#include "net/Url.h"
#include "platform/ui/Button.h"

#include <memory>
#include <new>

namespace {

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
    // Running out of memory ends this subscription as failed; every object
    // of the crawl is released on the way out and the cache is only ever
    // written whole, so nothing is left half-done.
    try {
        const CVELString url = StartUrl(orxPath, m_startQuery);
        const CrawlSettings settings(*this, startLow, startHigh, requestHeaders,
                                     followOutsideLinks);
        return CreateSubscription(url, depth);
    } catch (CVELString*) {
    } catch (CVELMemBuf*) {
    } catch (const std::bad_alloc&) {
    }
    return FALSE;
}

BOOL CSubscription::CreateSubscription(const CVELString& startUrl, std::int32_t depth) {
    auto request = std::make_unique<CHttpRequest>();
    if (!ParseURL(startUrl.GetData(), request->m_host, request->m_path, &request->m_nPort,
                  &request->m_bSecure)) {
        return FALSE;
    }
    m_startHost.Assign(request->m_host);
    AppendPort(m_startHost, request->m_nPort, request->m_bSecure);

    DWORD status = 0;
    CVELString headers;
    CVELString finalUrl;
    if (!TNeedToRetrieveURL(startUrl.GetData(), *request, TRUE) ||
        !FetchResponse(*request, startUrl, status, headers, finalUrl) || status != 200) {
        return FALSE;
    }
    if (!IsHtml(headers)) {
        return TRUE; // fetched; nothing in it is followed
    }
    CVELString host;
    CVELString path;
    INTERNET_PORT port = 0;
    BOOL secure = FALSE;
    if (!ParseURL(finalUrl.GetData(), host, path, &port, &secure)) {
        return FALSE;
    }
    const auto page = std::make_unique<CVELString>(request->m_response);
    request.reset();
    CrawlHtmlPage(*page, finalUrl.GetData(), depth);
    return TRUE;
}
