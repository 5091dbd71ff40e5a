// CSubscription: one subscription slot and the crawl that runs for it.
//
// The configuration fields come from the host page's parameters; the check
// box pointers are set by the panel (null for the NS slots, which have no
// boxes). The crawl state holds one synchronization's values while it runs.
// A crawl fetches the start page and walks every HTML page it reaches
// through anchors and frames, depth first, fetching embedded resources on
// the way. It keeps nothing of what it fetched: its lasting effect is what
// the internet library writes into its URL cache.
#pragma once

#include "foundation/VELString.h"
#include "platform/kernel/WinTypes.h"

class CButton;
class CHttpRequest;
class CVELStringPairList;

/// The deepest nesting of pages walked at once, start page included. A page
/// that would be walked deeper is still fetched, but its references are not
/// followed. It bounds the stack and the memory of a crawl whatever depth a
/// page configures, and ends chains of frames that never repeat a URL.
constexpr std::int32_t kMaxWalkNesting = 100;

/// The user agent of every request of a crawl.
inline constexpr char16_t kCrawlerUserAgent[] =
    u"Mozilla/4.0 (compatible; MSIE 4.0; OrvaneSynchCrawler)";

class CSubscription {
  public:
    CSubscription() = default;
    virtual ~CSubscription() = default;
    CSubscription(const CSubscription&) = delete;
    CSubscription& operator=(const CSubscription&) = delete;

    /// Shows a stored choice on the slot's check boxes, once per slot: 0 or
    /// less not selected, 1 selected, 2 or more selected with links. `lock`
    /// disables the subscription box so the user cannot change it.
    void ApplySelection(std::int32_t value, BOOL lock);

    /// Crawls the slot when it is named, its stored selection was applied and
    /// it is selected. Returns non-zero to go on with the next slot (crawled
    /// or passed over), zero when the subscription failed. A slot without
    /// check boxes (NS1-NS6) that is named is crawled at its default depth.
    /// An allocation failure during the crawl ends it as a failure.
    BOOL Synchronize(DWORD startLow, DWORD startHigh, const CVELString& orxPath,
                     const CVELString& requestHeaders, BOOL followOutsideLinks);

    /// Fetches `startUrl` and, when it is HTML, walks it at `depth`. TRUE when
    /// the start page came with status 200 (and, for HTML, was walked).
    BOOL CreateSubscription(const CVELString& startUrl, std::int32_t depth);

    /// Decides whether to fetch `url` (already parsed into `request`) and
    /// sets the request's flags and header block. `follow` is TRUE for the
    /// start URL, anchors and frames, FALSE for embedded resources.
    BOOL TNeedToRetrieveURL(const char16_t* url, CHttpRequest& request, BOOL follow);
    /// TRUE when host[:port] equals the start host, ignoring A-Z case.
    BOOL IsStartHost(const char16_t* host, INTERNET_PORT port, BOOL secure) const;

    /// Walks the tags of one HTML page.
    void CrawlHtmlPage(const CVELString& text, const char16_t* pageUrl, std::int32_t depth);
    /// Resolves, judges, fetches and (for anchors and frames) walks the
    /// reference one tag carries. `base` is the walk's base URL; a "BASE" tag
    /// replaces it.
    void CrawlHtmlTag(CVELString& base, const CVELString& tagName,
                      const CVELStringPairList& attributes, std::int32_t depth);

    // Configuration.
    CVELString m_name;
    CVELString m_labelSubscription;
    CVELString m_labelIncludeLinks;
    CVELString m_startQuery;
    std::int32_t m_nDepthDefault = 0;
    std::int32_t m_nDepthIncludeLinks = 0;
    CButton* m_pSubscriptionBox = nullptr;
    CButton* m_pIncludeLinksBox = nullptr;

    // Crawl state.
    CVELString m_startHost;
    CVELString m_requestHeaders;
    BOOL m_bOutsideLinks = FALSE;
    BOOL m_bSelectionApplied = FALSE;
    FILETIME m_syncStart = {0, 0};

  private:
    /// One page being walked: its URL and depth, linked to the page whose
    /// tag led to it. Lives on the stack of CrawlHtmlPage.
    struct WalkLevel {
        const char16_t* url;
        std::int32_t depth;
        std::int32_t nesting;
        const WalkLevel* outer;
    };

    BOOL StartHostRule(CHttpRequest& request) const;
    BOOL OtherHostRule(const char16_t* url, CHttpRequest& request, BOOL follow) const;
    BOOL MayWalk(const CVELString& url, std::int32_t depth, BOOL framed) const;

    const WalkLevel* m_pWalk = nullptr;
};
