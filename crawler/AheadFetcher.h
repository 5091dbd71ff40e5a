// SPDX-License-Identifier: Apache-2.0
// Fetching the pages a walk will certainly follow before it gets to them.
//
// When a page is walked with outside links allowed, every anchor and frame
// in it that leads to another host than the start host will be fetched when
// the walk reaches its tag, whatever happens before: the decision for such
// a reference depends on nothing the walk does on the way. Those requests
// are queued here, in document order and ahead of the references of the
// pages walked further up, and a few connections send them; while none may
// go ahead, those connections fetch the crawl's resources (Help). The internet
// library writes the cache when a body is read to its end; a body is read at
// once with that end held (CHttpRequest::HoldBodyEnd), so that no server's
// time-out can drop it while it waits: a page in memory while the pages so
// held stay within a few MiB (small ones always are), in a temporary file
// past that. Each response reaches the cache when the walk claims it, at the
// point where one connection would have fetched it. A reference the walk
// reaches before a connection took it is fetched by the walk itself. What is
// not claimed when its page's walk ends (a failed or stopped crawl) is closed
// with its end held, and never kept.
//
// Requests to the start host never go ahead: a redirect that would lead an
// early fetch there waits until the walk claims that fetch. A host is only
// fetched ahead once it has answered without setting a cookie, and never
// again after it set one, so early requests carry the cookies they would
// have carried. Cookies go by host name, whatever the port, so hosts are
// told apart here by name alone.
#pragma once

#include "crawler/PageFetch.h"
#include "foundation/VELString.h"
#include "platform/inet/WinInet.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

class CHttpRequest;

class CAheadFetcher {
  public:
    /// One reference queued for fetching ahead.
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

    /// Sends on `connections` connections, each fetch holding one of
    /// `slots` (when given). A body is read at once, its effects on the
    /// cache held until the walk claims the fetch, and the connection goes
    /// on to the next. `startHost` is the crawl's start host key
    /// (host[:port]).
    CAheadFetcher(std::int32_t connections, const CVELString& startHost,
                  class CConnectionSlots* slots = nullptr);
    /// Closes every fetch not claimed, unread, and ends the connections.
    ~CAheadFetcher();
    CAheadFetcher(const CAheadFetcher&) = delete;
    CAheadFetcher& operator=(const CAheadFetcher&) = delete;

    /// The references of one page, and how far its walk has come.
    struct Page {
        std::size_t queued = 0;
        std::size_t next = 0; // the reference the walk reaches next
        bool eager = false;   // all of them may go ahead, not only the next
    };
    using PageTicket = std::shared_ptr<Page>;

    /// Starts the references of a page: those queued until the next call go
    /// before everything queued earlier, in the order they are queued.
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

    /// Hears the head of a response of the crawl, to learn which hosts set
    /// cookies. Safe from any thread.
    /// `host` is the host name the request was sent to.
    void NoteResponse(const CVELString& host, const CVELString& finalUrl,
                      const CVELString& headers);

    /// True when requests to `host` (a host name) may go before the walk
    /// reaches them: it has answered without setting a cookie and has never
    /// set one, so an early request carries what a walk-order one would.
    /// Safe from any thread.
    bool MayGoEarly(const CVELString& host);

    /// Lets this fetcher's connections fetch `pool`'s resources, one at a
    /// time, while no page may go ahead: a connection with nothing to send
    /// ahead takes a resource instead of idling. With nullptr, stops that
    /// and returns once no connection is inside `pool` any more: call it
    /// before the pool ends.
    void Help(class CResourcePool* pool);
    /// The pool queued a resource: idle connections look again.
    void WakeHelpers();

    /// The host key (host[:port], upper case) of a request.
    static std::u16string HostKey(const CHttpRequest& request);

  private:
    void Work();
    void Fetch(Job& job);
    /// Waits for the walk to claim or drop a fetch whose body was not read
    /// early (it failed, or the library would not hold its end), and reads
    /// it then; returns the error of running out of memory or 0
    /// (`outOfMemory` when it was not read).
    DWORD ReadWhenClaimed(Job& job, FetchResult& head, DWORD outOfMemory);
    /// Counts the body of a fetch whose head has come as held, in memory
    /// when the budget allows it, else in a temporary file it opens, and
    /// holds the end of its read; false when the library would not.
    bool ReserveEarly(Job& job);
    /// Counts a body read early as no longer held; m_mutex held.
    void ReleaseHeld(Job& job);
    /// Removes a queued job, keeping the place where the current page's
    /// references go; m_mutex held.
    void Unqueue(const std::deque<Ticket>::const_iterator& at);
    /// A queued job the walk reached or gave up before any connection took
    /// it: never sent from here; m_mutex held.
    void TakeBack(const Ticket& ticket);
    /// Whether a connection has a page to start; m_mutex held.
    bool CanStart();
    /// The first queued job a connection may take, or end; m_mutex held.
    std::deque<Ticket>::iterator Startable();
    void StartWorkers();
    /// Holds a redirect of the calling connection's fetch that leads to
    /// `url` until the walk claims the fetch, when the URL's host may not be
    /// fetched ahead.
    void HoldRedirect(Job& job, const char16_t* url);
    static void OnStatus(HINTERNET handle, std::uintptr_t context, DWORD status, void* info,
                         DWORD length);

    const std::int32_t m_nConnections;
    const std::u16string m_startHost;
    class CConnectionSlots* const m_pSlots;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Ticket> m_queue;
    std::size_t m_nInsertAt = 0;
    std::int32_t m_nRead = 0;         // fetches read early, not yet claimed
    std::int64_t m_nHeldBytes = 0;    // what their pages hold in memory, and those being read will
    std::int64_t m_nSpilledBytes = 0; // the same in temporary files
    bool m_bStopping = false;
    std::vector<std::thread> m_workers;
    CResourcePool* m_pHelped = nullptr;
    std::int32_t m_nHelping = 0; // connections inside m_pHelped
    /// Host names that answered without setting a cookie, and those that
    /// set one.
    std::set<std::u16string> m_quiet;
    std::set<std::u16string> m_cookies;
    /// This crawl's status callback is in place: without it nothing goes
    /// ahead, since a redirect could not be held.
    bool m_bHoldsRedirects = false;
};
