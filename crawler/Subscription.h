// SPDX-License-Identifier: Apache-2.0
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

#include "crawler/CrawlReport.h"
#include "foundation/VELString.h"
#include "platform/kernel/WinTypes.h"

#include <cstddef>

class CButton;
class CHttpRequest;
class CCrawlScheduler;
class CVELStringPairList;

/// The longest run of pages walked one inside the other through frames
/// alone, the page holding the first frame included. Frames cost no depth,
/// so a chain of frames that never repeats a URL would otherwise go on for
/// ever; a page that would lengthen the run is fetched but not walked.
/// Anchors cost depth and follow the configured depth alone.
constexpr std::int32_t kMaxFramedRun = 100;

/// The stack a page walk keeps free below it for the fetches it makes: a
/// page that would be walked with less is fetched but not walked (and
/// counted in the report), so no depth overflows the stack.
constexpr std::size_t kWalkStackReserve = std::size_t{1} << 20;

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
    /// An allocation failure during the crawl ends it as a failure. The
    /// crawl runs on a thread of its own with a large stack, and the caller
    /// waits for it; m_report tells afterwards how it went.
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
    /// Connections the crawl may use at once. With more than one, embedded
    /// resources on other hosts are fetched beside the walk, and the pages
    /// on other hosts that the walk will follow ahead of it, within that
    /// many requests under way at once; the walk itself and every decision
    /// keep their order. Set by the panel.
    std::int32_t m_nConnections = 1;

    /// How the last crawl of the slot went, for the front end.
    CCrawlReport m_report;

    /// The references of one page that are being fetched ahead of the walk.
    struct AheadPage;

  private:
    /// One page being walked: its URL and depth, linked to the page whose
    /// tag led to it. Lives on the stack of CrawlHtmlPage.
    struct WalkLevel {
        const char16_t* url;
        std::int32_t depth;
        std::int32_t framedRun; // pages in the run of frames ending here
        const WalkLevel* outer;
    };

    /// Queues the page's anchors and frames to other hosts that its walk at
    /// `depth` will fetch.
    void QueueAhead(const CVELString& text, const char16_t* pageUrl, std::int32_t depth,
                    AheadPage& page);
    BOOL StartHostRule(CHttpRequest& request);
    BOOL Refuse(CCrawlReport::Refusal rule, const CVELString* what = nullptr);
    BOOL OtherHostRule(const char16_t* url, CHttpRequest& request, BOOL follow) const;
    BOOL MayWalk(const CVELString& url, std::int32_t depth, BOOL framed);
    /// Walks the start page, with the scheduler's connections when there
    /// are several.
    /// `head` is the start page's host, response URL and header lines.
    void WalkStartPage(const CVELString& page, const CVELString (&head)[3], std::int32_t depth);
    /// Counts a page fetched whole but too large to walk.
    void NoteTooLarge(const CVELString& url);

    const WalkLevel* m_pWalk = nullptr;
    /// The running crawl's connections beside the walk, and the page being
    /// walked's references fetched ahead; null with one connection.
    CCrawlScheduler* m_pScheduler = nullptr;
    AheadPage* m_pAheadPage = nullptr;
    /// Why the start-host rule last refused a URL.
    CCrawlReport::Refusal m_lastRefusal = CCrawlReport::Refusal::kNone;
    CVELString m_lastRefused;
};
