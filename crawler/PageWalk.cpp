// SPDX-License-Identifier: Apache-2.0
// Walking one HTML page: every tag that carries a reference is resolved,
// judged, fetched and, for anchors and frames leading to HTML, walked in
// turn, depth first, in document order.
#include "crawler/CrawlRequest.h"
#include "crawler/CrawlScheduler.h"
#include "crawler/HtmlScanner.h"
#include "crawler/PageFetch.h"
#include "crawler/ResolveReference.h"
#include "crawler/Subscription.h"
#include "foundation/TextUnits.h"
#include "foundation/VELStringPairList.h"
#include "net/Encoding.h"
#include "net/HttpRequest.h"
#include "platform/kernel/Stack.h"

#include <memory>

namespace {

enum class RefKind {
    kFollowed, // fetched as a page that may be walked, at depth d - 1
    kFrame,    // followed, but costs no depth
    kBase,     // replaces the base URL, never fetched
    kResource, // fetched, never walked
    kImageInput,
};

struct RefTag {
    const char16_t* name;
    const char16_t* attribute;
    RefKind kind;
};

constexpr RefTag kReferenceTable[] = {
    {u"A", u"href", RefKind::kFollowed},     {u"AREA", u"href", RefKind::kFollowed},
    {u"BASE", u"href", RefKind::kBase},      {u"BODY", u"background", RefKind::kResource},
    {u"FRAME", u"src", RefKind::kFrame},     {u"IFRAME", u"src", RefKind::kFrame},
    {u"IMG", u"src", RefKind::kResource},    {u"INPUT", u"src", RefKind::kImageInput},
    {u"LINK", u"href", RefKind::kResource},  {u"OBJECT", u"codebase", RefKind::kResource},
    {u"SCRIPT", u"src", RefKind::kResource},
};

const RefTag* FindReferenceTag(const CVELString& upperName) {
    for (const RefTag& tag : kReferenceTable) {
        if (vel::TextLength(tag.name) == upperName.GetLength() &&
            vel::Compare(tag.name, upperName.GetData()) == 0) {
            return &tag;
        }
    }
    return nullptr;
}

bool IsFollowed(RefKind kind) {
    return kind == RefKind::kFollowed || kind == RefKind::kFrame;
}

/// An "INPUT" carries a reference only when its type is "image".
bool IsImageInput(const CVELStringPairList& attributes) {
    CVELString type;
    if (!attributes.GetValue(u"type", type)) {
        return false;
    }
    UnquoteString(type);
    return type.GetLength() == 5 && type.CompareNoCase(u"image") == 0;
}

bool IsComment(const CVELString& tag) {
    const char16_t* t = tag.GetData();
    return tag.GetLength() >= 4 && t[0] == u'<' && t[1] == u'!' && t[2] == u'-' && t[3] == u'-';
}

/// The depth a tag's reference is taken at, and whether it is taken at all.
bool TakenAt(const RefTag& tag, std::int32_t depth, std::int64_t& effective) {
    // A frame's page is walked at the depth of the page holding it.
    effective = tag.kind == RefKind::kFrame ? std::int64_t{depth} + 1 : depth;
    return effective >= (IsFollowed(tag.kind) ? 1 : 0);
}

} // namespace

struct CSubscription::AheadPage {
    struct Entry {
        CCrawlScheduler::Ticket ticket;
        CVELString url;
        CVELString headers;
        DWORD flags = 0;
    };
    CCrawlScheduler* fetcher = nullptr;
    CCrawlScheduler::PageTicket ticket;
    std::vector<Entry> entries;
    std::size_t next = 0;

    AheadPage() = default;
    AheadPage(const AheadPage&) = delete;
    AheadPage& operator=(const AheadPage&) = delete;
    /// What the walk did not claim (it ended early) is closed unread.
    ~AheadPage() {
        for (std::size_t i = next; i < entries.size(); ++i) {
            fetcher->Drop(entries[i].ticket);
        }
    }
};

namespace {

/// The state of one page walk. It lives on the heap so that each level of
/// the recursion costs the stack only a few pointers.
struct PageWalkState {
    CVELString base;
    CVELString tag;
    CVELString name;
    CVELStringPairList attributes;
    CHtmlTagBuffers buffers;
    CSubscription::AheadPage* outerAhead = nullptr;
};

/// The state of one tag's fetch, on the heap for the same reason.
struct TagFetchState {
    std::unique_ptr<CHttpRequest> request = std::make_unique<CHttpRequest>();
    CVELString reference;
    CVELString resolved;
    CVELString headers;
    CVELString finalUrl;
};

/// Takes the fetch made ahead for the tag the walk has just judged, when
/// it is the page's next one and was prepared alike. FALSE: the walk
/// fetches it itself.
bool ClaimAhead(CSubscription::AheadPage* page, TagFetchState& fetch, DWORD& status,
                FetchResult& result) {
    if (page == nullptr || page->next >= page->entries.size()) {
        return false;
    }
    const CSubscription::AheadPage::Entry& entry = page->entries[page->next];
    const CHttpRequest& judged = *fetch.request;
    if (entry.url.GetLength() != fetch.resolved.GetLength() ||
        vel::Compare(entry.url.GetData(), fetch.resolved.GetData()) != 0 ||
        entry.flags != judged.m_dwFlags ||
        entry.headers.GetLength() != judged.m_headers.GetLength() ||
        vel::Compare(entry.headers.GetData(), judged.m_headers.GetData()) != 0) {
        return false;
    }
    ++page->next;
    CCrawlScheduler::Fetched fetched;
    if (!page->fetcher->Claim(entry.ticket, fetched)) {
        return false;
    }
    fetch.request = std::move(fetched.request);
    fetch.headers = fetched.headers;
    fetch.finalUrl = fetched.finalUrl;
    status = fetched.status;
    result = fetched.result;
    return true;
}

} // namespace

void CSubscription::CrawlHtmlPage(const CVELString& text, const char16_t* pageUrl,
                                  std::int32_t depth) {
    auto walk = std::make_unique<PageWalkState>();
    walk->base.Assign(pageUrl);
    // The run of frames grows only while pages come in through frames, that
    // is while the depth stays the same.
    const bool framed = m_pWalk != nullptr && m_pWalk->depth == depth;
    const WalkLevel level{pageUrl, depth, framed ? m_pWalk->framedRun + 1 : 1, m_pWalk};
    m_pWalk = &level;
    struct Restore {
        const WalkLevel*& top;
        const WalkLevel* outer;
        ~Restore() { top = outer; }
    } restore{m_pWalk, level.outer};

    std::unique_ptr<AheadPage> ahead;
    if (m_pScheduler != nullptr && m_bOutsideLinks) {
        ahead = std::make_unique<AheadPage>();
        ahead->fetcher = m_pScheduler;
        QueueAhead(text, pageUrl, depth, *ahead);
        if (ahead->entries.empty() && m_pAheadPage != nullptr) {
            m_pScheduler->MakeEager(m_pAheadPage->ticket);
        }
    }
    walk->outerAhead = m_pAheadPage;
    m_pAheadPage = ahead.get();
    struct RestoreAhead {
        AheadPage*& top;
        AheadPage* outer;
        ~RestoreAhead() { top = outer; }
    } restoreAhead{m_pAheadPage, walk->outerAhead};

    std::int32_t pos = 0;
    while (GetNextHtmlTag(text, pos, walk->tag)) {
        if (IsComment(walk->tag) ||
            !ParseHtmlTag(walk->tag, walk->name, walk->attributes, walk->buffers) ||
            walk->name.GetLength() == 0) {
            continue;
        }
        CrawlHtmlTag(walk->base, walk->name, walk->attributes, depth);
    }
}

BOOL CSubscription::MayWalk(const CVELString& url, std::int32_t depth, BOOL framed) {
    if (StackHeadroom() < kWalkStackReserve) {
        ++m_report.m_nNotWalked;
        return FALSE;
    }
    if (!framed) {
        return TRUE; // anchors cost depth: the configured depth bounds them
    }
    if (m_pWalk != nullptr && m_pWalk->framedRun >= kMaxFramedRun) {
        return FALSE;
    }
    // Only frames keep the depth, so a page already being walked at the same
    // depth further up is the page framing itself, directly or through a
    // chain of frames: walking it again would never end.
    for (const WalkLevel* level = m_pWalk; level != nullptr; level = level->outer) {
        if (level->depth == depth && vel::Compare(level->url, url.GetData()) == 0) {
            return FALSE;
        }
    }
    return TRUE;
}

void CSubscription::CrawlHtmlTag(CVELString& base, const CVELString& tagName,
                                 const CVELStringPairList& attributes, std::int32_t depth) {
    CVELString upper(tagName);
    upper.MakeUpper();
    const RefTag* tag = FindReferenceTag(upper);
    if (tag == nullptr || (tag->kind == RefKind::kImageInput && !IsImageInput(attributes))) {
        return;
    }
    const bool followed = IsFollowed(tag->kind);
    std::int64_t effective = 0;
    if (!TakenAt(*tag, depth, effective)) {
        return;
    }
    auto fetch = std::make_unique<TagFetchState>();
    if (!attributes.GetValue(tag->attribute, fetch->reference) ||
        !ResolveReference(base.GetData(), *fetch->request, fetch->reference, fetch->resolved)) {
        return;
    }
    if (tag->kind == RefKind::kBase) {
        base.Assign(fetch->resolved);
        return;
    }
    DWORD status = 0;
    if (!TNeedToRetrieveURL(fetch->resolved.GetData(), *fetch->request, followed)) {
        return;
    }
    // A resource goes to the scheduler only where its request carries the
    // cookies it would carry in walk order: its host has answered without
    // setting one, and never set one.
    if (!followed && m_pScheduler != nullptr &&
        !IsStartHost(fetch->request->m_host.GetData(), fetch->request->m_nPort,
                     fetch->request->m_bSecure) &&
        m_pScheduler->MayGoEarly(fetch->request->m_host)) {
        m_pScheduler->Hand(std::move(fetch->request), fetch->resolved);
        return;
    }
    FetchResult fetched = FetchResult::kNotSent;
    if (!followed || !ClaimAhead(m_pAheadPage, *fetch, status, fetched)) {
        CCrawlScheduler::OwnFetch own(followed ? nullptr : m_pScheduler, fetch->resolved);
        if (!own.MaySend()) {
            return; // a redirect of an earlier resource kept it meanwhile
        }
        const CConnectionSlots::Held connection(m_pScheduler != nullptr ? m_pScheduler->Slots()
                                                                        : nullptr);
        fetched = FetchResponse(*fetch->request, fetch->resolved,
                                followed ? BodyUse::kWalk : BodyUse::kDrop, status, fetch->headers,
                                fetch->finalUrl);
        own.EndedAt(fetch->finalUrl);
        if (m_pScheduler != nullptr && fetched != FetchResult::kNotSent &&
            fetched != FetchResult::kNoResponse) {
            m_pScheduler->NoteResponse(fetch->request->m_host, fetch->finalUrl, fetch->headers);
        }
    }
    if (fetched == FetchResult::kTooLarge) {
        NoteTooLarge(fetch->finalUrl);
        return;
    }
    if (fetched != FetchResult::kDone || status != 200 || !followed || !IsHtml(fetch->headers)) {
        return;
    }
    const auto pageDepth = static_cast<std::int32_t>(effective - 1);
    if (!MayWalk(fetch->finalUrl, pageDepth, tag->kind == RefKind::kFrame)) {
        return;
    }
    const auto page = std::make_unique<CVELString>(fetch->request->m_response);
    // The bytes are no longer needed once they are text; free them before
    // the walk goes deeper.
    fetch->request.reset();
    CrawlHtmlPage(*page, fetch->finalUrl.GetData(), pageDepth);
}

void CSubscription::QueueAhead(const CVELString& text, const char16_t* pageUrl, std::int32_t depth,
                               AheadPage& page) {
    // The same tags, in the same order, with the same base as the walk will
    // take them: every anchor and frame to another host found here is one
    // the walk will fetch.
    auto scan = std::make_unique<PageWalkState>();
    scan->base.Assign(pageUrl);
    page.ticket = m_pScheduler->BeginPage();
    std::int32_t pos = 0;
    while (GetNextHtmlTag(text, pos, scan->tag)) {
        if (IsComment(scan->tag) ||
            !ParseHtmlTag(scan->tag, scan->name, scan->attributes, scan->buffers) ||
            scan->name.GetLength() == 0) {
            continue;
        }
        scan->name.MakeUpper();
        const RefTag* tag = FindReferenceTag(scan->name);
        std::int64_t effective = 0;
        if (tag == nullptr || (!IsFollowed(tag->kind) && tag->kind != RefKind::kBase) ||
            !TakenAt(*tag, depth, effective)) {
            continue;
        }
        TagFetchState fetch;
        if (!scan->attributes.GetValue(tag->attribute, fetch.reference) ||
            !ResolveReference(scan->base.GetData(), *fetch.request, fetch.reference,
                              fetch.resolved)) {
            continue;
        }
        if (tag->kind == RefKind::kBase) {
            scan->base.Assign(fetch.resolved);
            continue;
        }
        CHttpRequest& request = *fetch.request;
        if (IsStartHost(request.m_host.GetData(), request.m_nPort, request.m_bSecure)) {
            continue;
        }
        PrepareCrawlRequest(request, m_requestHeaders.GetData());
        PrepareOtherHostRequest(request);
        AheadPage::Entry entry{nullptr, fetch.resolved, request.m_headers, request.m_dwFlags};
        entry.ticket = m_pScheduler->Queue(std::move(fetch.request), fetch.resolved, page.ticket);
        page.entries.push_back(std::move(entry));
    }
}
