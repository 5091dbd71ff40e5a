// SPDX-License-Identifier: Apache-2.0
// The connections of a crawl with more than one: what they fetch beside the
// walk, and in which order.
//
// The walk stays on its own thread, judging and walking every page in
// document order. Two kinds of work go to the scheduler's connections:
//
// - Pages ahead. When a page is walked with outside links allowed, every
//   anchor and frame in it that leads to another host than the start host
//   will be fetched when the walk reaches its tag, whatever happens before.
//   Those requests are queued in document order, ahead of the references of
//   the pages walked further up, and served first. A body is read at once
//   with its end held (CHttpRequest::HoldBodyEnd): a page in memory while
//   the pages so held stay within a few MiB, in a temporary file past that
//   or when its length is not announced, so no server's time-out can drop
//   it while it waits. Its effects on the
//   cache take place when the walk claims it, where one connection would
//   have fetched it; what the walk never claims is closed and never kept.
//   Requests to the start host never go ahead: a redirect that would lead
//   an early fetch there waits until the walk claims that fetch.
// - Resources. Embedded resources on other hosts are judged by the walk in
//   order, then handed over and read through here, with no thread waiting
//   for any of them: the library's asynchronous form moves each on as its
//   bytes come (ResourceFetches.cpp), and keeps them in the cache. Before
//   the walk judges a URL whose fetch is still under way here (under the
//   same cache key, or known from its answer to end there after
//   redirects), it waits for that fetch to end, so the cache answers as it
//   would have with one connection. A resource redirected to the URL of
//   one handed over after it costs that URL no extra request
//   (ResourceRedirects.cpp).
//
// A host gets requests early, pages or resources, only once it has answered
// without setting a cookie, and never after it set one, so early requests
// carry the cookies they would have carried. Cookies go by host name,
// whatever the port, so hosts are told apart here by name alone. Every
// fetch, the walk's own included (Slots), holds one of `connections` slots,
// and pages ahead take at most a third of the connections (one at least),
// so resources always move. Pages ahead and resources alike are fetched
// with no thread waiting for them: the library moves them on its own
// thread. One lock guards all of it.
#pragma once

#include "crawler/ConnectionSlots.h"
#include "crawler/PageFetch.h"
#include "foundation/VELString.h"
#include "platform/inet/WinInet.h"
#include "platform/kernel/ThreadSafety.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

class CHttpRequest;

class CCrawlScheduler {
  public:
    /// One page queued for fetching ahead.
    struct Job;
    using Ticket = std::shared_ptr<Job>;

    /// What a claimed fetch brings: as FetchResponse leaves it.
    struct Fetched {
        FetchResult result = FetchResult::kNotSent;
        DWORD status = 0;
        CVELString headers;
        CVELString finalUrl;
        std::unique_ptr<CHttpRequest> request;
    };

    /// The references of one page, and how far its walk has come.
    struct Page {
        std::size_t queued = 0;
        std::size_t next = 0; // the reference the walk reaches next
        bool eager = false;   // all of them may go ahead, not only the next
    };
    using PageTicket = std::shared_ptr<Page>;

    /// A crawl of `connections` connections (1 to kMaxConnections) whose
    /// start host key is `startHost` (host[:port]) and which started at
    /// `syncStart`. Its fetches start with the first work handed over.
    CCrawlScheduler(std::int32_t connections, const CVELString& startHost,
                    const FILETIME& syncStart);
    /// Closes every page not claimed, fetches every resource handed over,
    /// and ends the connections.
    ~CCrawlScheduler();
    CCrawlScheduler(const CCrawlScheduler&) = delete;
    CCrawlScheduler& operator=(const CCrawlScheduler&) = delete;

    /// A host key or name in upper case, as hosts are compared here.
    static std::u16string UpperKey(CVELString key);

    /// The slots every fetch holds one of: the walk takes one for its own.
    CConnectionSlots* Slots() { return &m_slots; }

    /// Starts the references of a page: those queued until the next call go
    /// before every page queued earlier, in the order they are queued.
    PageTicket BeginPage();
    /// Queues `request` (prepared as the walk will judge it) for `url`.
    Ticket Queue(std::unique_ptr<CHttpRequest> request, const CVELString& url,
                 const PageTicket& page);
    /// Lets every reference of `page` go ahead. At first only the one the
    /// walk reaches next does: the pages after it wait for everything the
    /// walk finds below it, and would only hold connections meanwhile. Once
    /// a page reached from `page` leads nowhere further, its siblings
    /// likely do not either, and are fetched side by side.
    void MakeEager(const PageTicket& page);
    /// The walk has reached the ticket's tag and judged it. FALSE when no
    /// connection took it yet: it is the walk's to fetch. Else waits until
    /// the fetch ended, the body read to its end, and fills `out`. Throws
    /// std::bad_alloc when the fetch ran out of memory.
    bool Claim(const Ticket& ticket, Fetched& out);
    /// The walk will not claim the ticket: its fetch is closed unread.
    void Drop(const Ticket& ticket);

    /// Queues a resource's `request` (judged, with its flags and headers
    /// set) for fetching; waits while the queue is full.
    void Hand(std::unique_ptr<CHttpRequest> request, const CVELString& url);
    /// A resource the walk fetches itself (its host may not get requests
    /// early), counted in its order as if handed over, so that redirects of
    /// resources handed over before it treat it alike.
    class OwnFetch;
    /// Returns once no resource handed over is for the cache key of `url`
    /// or is known to end at it, so that the cache holds what those
    /// fetches left there.
    void AwaitFetchesOf(const char16_t* url);
    /// Returns once every resource handed over so far has been fetched. A
    /// fetch that ran out of memory fails the crawl as it would on the
    /// walk's thread: Wait then throws std::bad_alloc with the reason in
    /// the last error.
    void Wait();

    /// Hears the head of a response of the crawl, to learn which hosts set
    /// cookies; `host` is the host name the request was sent to.
    void NoteResponse(const CVELString& host, const CVELString& finalUrl, const CVELString& headers)
        DRAVIK_EXCLUDES(m_mutex);
    /// True when requests to `host` (a host name) may go before the walk
    /// reaches them: it has answered without setting a cookie and has never
    /// set one.
    bool MayGoEarly(const CVELString& host) DRAVIK_EXCLUDES(m_mutex);

  private:
    /// A fetch no thread waits for: the library's asynchronous form tells
    /// it, on the library's own thread, whenever it may go further, and
    /// whoever holds `stepping` moves it on (Kick); any thread may try to
    /// take it.
    struct Moving : std::enable_shared_from_this<Moving> {
        Moving() = default;
        Moving(const Moving&) = delete;
        Moving& operator=(const Moving&) = delete;
        virtual ~Moving() = default;
        /// Goes as far as it can now, `stepping` held.
        virtual void StepWith(CCrawlScheduler& owner) = 0;
        std::mutex stepping;
        std::atomic<bool> kicked{false};  // it may go on: whoever steps, step again
        bool over = false;                // nothing more to do (`stepping`)
        std::optional<BodyReader> reader; // once its head is read (`stepping`)
        bool hasSlot = false;             // it holds a connection slot (the lock)
    };
    using MovingPtr = std::shared_ptr<Moving>;

    struct Resource final : Moving {
        void StepWith(CCrawlScheduler& owner) override { owner.Step(*this); }

        std::unique_ptr<CHttpRequest> request;
        CVELString url;
        std::uint64_t key = 0;    // of the URL handed over
        std::uint64_t seq = 0;    // the order it was handed over in, from 1
        std::size_t hopsSeen = 0; // of m_hops[key].seen when the walk judged it
        /// Keys of the URLs its redirects led to, counted in m_unfinished,
        /// and those of them it is under way to in m_hops.
        std::vector<std::uint64_t> hopKeys;
        std::vector<std::uint64_t> aheadOf;
        bool sent = false;       // its request went out (it was not judged away)
        bool judgeAgain = false; // a redirect to its URL came after the walk judged it

        // Its fetch (ResourceFetches.cpp).
        FetchResult result = FetchResult::kNotSent;
        DWORD status = 0;
        CVELString headers;
        CVELString finalUrl;
        /// A redirect hop held until a resource handed over later, already
        /// sent, has ended: its URL, and whether it is held now.
        std::u16string hopUrl;
        bool hopHeld = false;
        // Under the scheduler's lock: what the held hop waits for (the key
        // and hand-over order), and whether it may go now and answer from
        // the cache.
        std::uint64_t holdKey = 0;
        std::uint64_t holdFor = 0;
        bool letGo = false;
        bool standIn = false;
    };
    using ResourcePtr = std::shared_ptr<Resource>;
    /// The latest resource handed over under a key.
    struct Handed {
        std::uint64_t seq = 0;
        bool sent = false;     // past the last judgment: it goes, or is judged away
        bool finished = false; // done, its answer kept or not
        /// Its request went out and was answered at its own URL, unused yet
        /// by a redirect that stands on it.
        bool standsIn = false;
    };

    /// Puts this crawl's status callback in place, to hold redirects of
    /// pages fetched ahead, and takes it away.
    void HearStatus();
    void StopHearingStatus();
    static std::uint64_t KeyHash(const char16_t* url);
    bool CanStartPage() DRAVIK_REQUIRES(m_mutex);
    std::deque<Ticket>::iterator StartablePage() DRAVIK_REQUIRES(m_mutex);
    bool EarlyHost(const std::u16string& name) const DRAVIK_REQUIRES(m_mutex);
    void Unqueue(const std::deque<Ticket>::const_iterator& at) DRAVIK_REQUIRES(m_mutex);
    void TakeBack(const Ticket& ticket) DRAVIK_REQUIRES(m_mutex);

    // Fetching a page ahead (AheadFetches.cpp).
    /// The first page that may go ahead now, with a slot taken, or null.
    Ticket TakePage() DRAVIK_REQUIRES(m_mutex);
    void LaunchPage(const Ticket& job) DRAVIK_EXCLUDES(m_mutex);
    void Step(Job& job) DRAVIK_EXCLUDES(m_mutex);
    /// True once the fetch is over as far as it goes before the walk
    /// claims it.
    bool Advance(Job& job) DRAVIK_EXCLUDES(m_mutex);
    bool AdvanceHead(Job& job) DRAVIK_EXCLUDES(m_mutex);
    /// Once the walk claimed or dropped a fetch that waits for that: false
    /// while it waits; else it goes on (true), or ends unread (`job.over`).
    bool Resume(Job& job) DRAVIK_EXCLUDES(m_mutex);
    void EndPage(Job& job, DWORD outOfMemory) DRAVIK_EXCLUDES(m_mutex);
    /// Hands what the fetch left to the walk, or closes it when dropped.
    void SettlePage(Job& job, DWORD outOfMemory) DRAVIK_EXCLUDES(m_mutex);
    /// Moves on the pages under way that wait for the walk or a stop.
    void KickWaitingPages() DRAVIK_EXCLUDES(m_mutex);
    bool ReserveEarly(Job& job) DRAVIK_EXCLUDES(m_mutex);
    void ReleaseHeld(Job& job) DRAVIK_REQUIRES(m_mutex);
    void SettleHeld(Job& job) DRAVIK_REQUIRES(m_mutex);
    /// Fills `out` from a page read early that the walk claimed: the
    /// cache is written now.
    static void TakeRead(Job& job, Fetched& out);
    /// Holds the hop of a page's redirect that leads where early requests
    /// may not go, until the walk claims the page; `handle` is its request.
    void HoldRedirect(Job& job, HINTERNET handle, const char16_t* url) DRAVIK_EXCLUDES(m_mutex);
    static void OnStatus(HINTERNET handle, std::uintptr_t context, DWORD status, void* info,
                         DWORD length);
    // Fetching resources (ResourceFetches.cpp).
    /// Starts what may start: fetches waiting to get their slot back
    /// first, then pages ahead, then the resources queued, in order, as far
    /// as slots allow.
    void StartFetches() DRAVIK_EXCLUDES(m_mutex);
    /// The first queued resource that may be sent now, with a slot taken
    /// for it, or null.
    ResourcePtr TakeStartable() DRAVIK_REQUIRES(m_mutex);
    void Launch(const ResourcePtr& resource) DRAVIK_EXCLUDES(m_mutex);
    /// Moves the fetch on, on the calling thread, unless another thread is
    /// moving it now (which then steps once more).
    static void Kick(CCrawlScheduler* owner, const MovingPtr& fetch);
    template <class Fetches> void KickAll(const Fetches& fetches) {
        for (const auto& fetch : fetches) {
            Kick(this, fetch);
        }
    }
    /// With `stepping` held.
    void Step(Resource& resource) DRAVIK_EXCLUDES(m_mutex);
    /// True once the fetch is over, its outcome in `resource.result`.
    bool Advance(Resource& resource) DRAVIK_EXCLUDES(m_mutex);
    bool AdvanceHead(Resource& resource) DRAVIK_EXCLUDES(m_mutex);
    /// Notes the URL a fetch was redirected to, once its head is read.
    void EndsAt(Resource& resource) DRAVIK_EXCLUDES(m_mutex);
    /// Lets a held hop go once it may, with a slot; false while it waits.
    bool ResumeHop(Resource& resource) DRAVIK_EXCLUDES(m_mutex);
    /// Gives back the slot of a fetch that waits without using it.
    void LendSlot(Moving& fetch) DRAVIK_EXCLUDES(m_mutex);
    /// True when a fetch that lent its slot holds one again; else it waits
    /// for one in m_slotWaiters.
    bool RegainSlot(Moving& fetch) DRAVIK_REQUIRES(m_mutex);
    /// Ends a fetch: counts it out and gives back its slot.
    void Complete(Resource& resource, DWORD outOfMemory) DRAVIK_EXCLUDES(m_mutex);
    /// What ending a fetch tells the others: the URLs it wrote and the
    /// hops it lets go.
    void CountOut(Resource& resource) DRAVIK_EXCLUDES(m_mutex);
    /// Counts a resource judged by the walk as handed over now.
    void Register(Resource& resource) DRAVIK_REQUIRES(m_mutex);
    /// Whether a resource may be sent now: no redirect of an earlier one
    /// to its URL is under way. Says in `judgeAgain` whether one came
    /// after the walk judged it.
    bool MayGoNow(Resource& resource) DRAVIK_REQUIRES(m_mutex);
    /// Marks a resource that may go now as past its last judgment.
    void MarkSent(Resource& resource) DRAVIK_REQUIRES(m_mutex);
    /// Sets and returns `resource.sent`: false when a redirect that came
    /// after the walk judged it kept its URL this run meanwhile.
    bool JudgedSent(Resource& resource) DRAVIK_EXCLUDES(m_mutex);
    /// Whether a resource about to be fetched by the walk is still to be:
    /// waits while an earlier one is redirected to its URL (Redirected).
    bool MaySend(Resource& resource) DRAVIK_EXCLUDES(m_mutex);
    /// Counts a resource done; `direct` when it was answered at its own URL.
    void Finish(Resource& resource, bool direct) DRAVIK_REQUIRES(m_mutex);
    /// The held hops that may go now, out of m_heldHops.
    std::vector<ResourcePtr> LetGoHops() DRAVIK_REQUIRES(m_mutex);
    /// Hears that `resource`'s next hop leads to `url`; `handle` is its
    /// request. Keeps the count of requests for that URL as with one
    /// connection, holding the hop where it must wait (ResourceRedirects.cpp).
    void Redirected(Resource& resource, HINTERNET handle, const char16_t* url)
        DRAVIK_EXCLUDES(m_mutex);
    /// The resource or page the calling thread is sending for a scheduler
    /// that hears redirects, if any, and that scheduler.
    struct Fetching {
        CCrawlScheduler* owner = nullptr;
        Resource* resource = nullptr;
        Job* page = nullptr;
    };
    static Fetching& FetchingResource();
    /// HeadArrived for `request`, a redirect heard meanwhile being that of
    /// `as` (Redirected, HoldRedirect).
    static bool HeadArrivedAs(const Fetching& as, CHttpRequest& request,
                              const CVELString& requested, DWORD& status, CVELString& headers,
                              CVELString& finalUrl, FetchResult& result);
    void AddUnfinished(std::uint64_t key) DRAVIK_REQUIRES(m_mutex);
    void RemoveUnfinished(std::uint64_t key) DRAVIK_REQUIRES(m_mutex);

    const std::int32_t m_nConnections;
    const std::int32_t m_nPageConnections; // the most fetching pages ahead at once
    const std::u16string m_startHost;
    const FILETIME m_syncStart;
    CConnectionSlots m_slots;
    AnnotatedMutex m_mutex;
    std::condition_variable_any m_changed;
    bool m_bStopping DRAVIK_GUARDED_BY(m_mutex) = false;

    // Pages ahead.
    std::deque<Ticket> m_pages DRAVIK_GUARDED_BY(m_mutex);
    std::size_t m_nInsertAt DRAVIK_GUARDED_BY(m_mutex) = 0;
    std::int32_t m_nFetchingPages DRAVIK_GUARDED_BY(m_mutex) = 0;
    std::vector<Ticket> m_pagesUnderWay DRAVIK_GUARDED_BY(m_mutex);
    std::int32_t m_nEndingPages DRAVIK_GUARDED_BY(m_mutex) = 0; // past their count, not yet done
    std::int32_t m_nRead DRAVIK_GUARDED_BY(m_mutex) = 0;        // read early, not yet claimed
    /// What their pages hold in memory (and those being read will), and the
    /// same in temporary files.
    std::int64_t m_nHeldBytes DRAVIK_GUARDED_BY(m_mutex) = 0;
    std::int64_t m_nSpilledBytes DRAVIK_GUARDED_BY(m_mutex) = 0;
    /// This crawl's status callback is in place: without it no page goes
    /// ahead, since a redirect could not be held.
    bool m_bHoldsRedirects = false;

    // Resources.
    std::deque<ResourcePtr> m_resources DRAVIK_GUARDED_BY(m_mutex);
    std::int32_t m_nBusy DRAVIK_GUARDED_BY(m_mutex) = 0; // resources being fetched
    /// Hops held until a later resource ends, and those let go that wait
    /// for a connection slot (served before any new resource).
    std::vector<ResourcePtr> m_heldHops DRAVIK_GUARDED_BY(m_mutex);
    std::deque<MovingPtr> m_slotWaiters DRAVIK_GUARDED_BY(m_mutex);
    /// Unfinished resource fetches by the hash of a cache key they will
    /// write: the key handed over and, once the head is read, the one
    /// redirects ended at.
    std::unordered_map<std::uint64_t, std::int32_t> m_unfinished DRAVIK_GUARDED_BY(m_mutex);
    std::uint64_t m_nHanded DRAVIK_GUARDED_BY(m_mutex) = 0;
    std::unordered_map<std::uint64_t, Handed> m_handed DRAVIK_GUARDED_BY(m_mutex);
    /// Redirects of resources to a key that no resource handed over later
    /// had been sent for yet: the hand-over order of each redirected
    /// resource, as the redirects came, and of those still under way.
    struct Hops {
        std::vector<std::uint64_t> seen;
        std::multiset<std::uint64_t> underway;
    };
    std::unordered_map<std::uint64_t, Hops> m_hops DRAVIK_GUARDED_BY(m_mutex);
    /// The key the walk judged last (AwaitFetchesOf) and the redirects to
    /// it seen by then.
    std::uint64_t m_judgedKey DRAVIK_GUARDED_BY(m_mutex) = 0;
    std::size_t m_judgedHops DRAVIK_GUARDED_BY(m_mutex) = 0;
    /// The last error of a resource fetch that ran out of memory, or 0.
    DWORD m_dwOutOfMemory DRAVIK_GUARDED_BY(m_mutex) = 0;

    /// Host names that answered without setting a cookie, and those that
    /// set one.
    std::set<std::u16string> m_quiet DRAVIK_GUARDED_BY(m_mutex);
    std::set<std::u16string> m_cookies DRAVIK_GUARDED_BY(m_mutex);
};

/// A resource the walk fetches itself, counted as if handed over.
class CCrawlScheduler::OwnFetch {
  public:
    /// With a null `scheduler`, nothing is counted and the fetch goes.
    OwnFetch(CCrawlScheduler* scheduler, const CVELString& url);
    ~OwnFetch();
    OwnFetch(const OwnFetch&) = delete;
    OwnFetch& operator=(const OwnFetch&) = delete;
    /// False when the resource is judged away after all: a redirect of
    /// an earlier one kept its URL meanwhile. Call once, before sending.
    bool MaySend();
    /// The fetch ended at `finalUrl`.
    void EndedAt(const CVELString& finalUrl);

  private:
    CCrawlScheduler* m_pScheduler;
    Resource m_resource;
    bool m_bDirect = false;
};

/// A page queued for fetching ahead. Its state is read and written under
/// the scheduler's lock; its request and what it fetched belong to whoever
/// steps its fetch until the state says kDone or kRead, then to the walk.
struct CCrawlScheduler::Job final : Moving {
    /// kWaiting: its body waits for the walk's claim. kRead: read to its
    /// end early, the end held until the walk claims it.
    enum class State { kQueued, kSending, kWaiting, kDone, kRead, kTaken };
    /// How far its fetch has come (AheadFetches.cpp).
    /// kGivenBack: it could not go ahead, and is the walk's to fetch.
    enum class Phase { kHead, kBody, kClaimWait, kLateBody, kGivenBack };
    struct CloseFile {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    void StepWith(CCrawlScheduler& owner) override { owner.Step(*this); }
    std::unique_ptr<CHttpRequest> request;
    CVELString url;
    std::u16string host;       // host[:port], upper case
    std::u16string cookieName; // the host as cookies know it
    PageTicket page;
    std::size_t index = 0; // in its page's references
    State state = State::kQueued;
    bool claimed = false;
    bool dropped = false;
    DWORD outOfMemory = 0;
    std::int64_t heldBytes = 0;                  // counted in m_nHeldBytes while read early
    std::int64_t spilledBytes = 0;               // counted in m_nSpilledBytes while read early
    std::unique_ptr<std::FILE, CloseFile> spill; // the page read early, when not in memory
    Fetched fetched;

    // Its fetch, under `stepping`.
    Phase phase = Phase::kHead;
    bool hopHeld = false; // a redirect's hop waits for the walk's claim
    bool early = false;   // read at once, its end held
    FetchResult head = FetchResult::kNotSent;
};
