// SPDX-License-Identifier: Apache-2.0
// Fetching a page ahead of the walk, with no thread waiting for it.
//
// A page goes out through the library's asynchronous form once it may go
// ahead and a connection slot is free. Its head read, its body is read at
// once as its bytes come, its end held (CHttpRequest::HoldBodyEnd): the
// connection is free for the next fetch, no server can drop the response
// while it waits for the walk, and the cache is written when the walk
// claims it. Two things wait for the walk instead, their slot given back
// meanwhile: a redirect whose next hop leads where early requests may not
// go (it is sent once the walk claims the page, as one connection would
// send it), and, when the library would not hold a body's end, the body.
#include "crawler/CrawlScheduler.h"
#include "crawler/OutOfMemory.h"
#include "net/HttpRequest.h"

#include <system_error>
#include <utility>

CCrawlScheduler::Ticket CCrawlScheduler::TakePage() {
    if (!CanStartPage()) {
        return nullptr;
    }
    m_pagesUnderWay.reserve(m_pagesUnderWay.size() + 1); // nothing is taken half-way
    if (!m_slots.TryAcquire()) {
        return nullptr;
    }
    const auto at = StartablePage();
    Ticket job = *at;
    Unqueue(at);
    job->state = Job::State::kSending;
    job->hasSlot = true;
    ++m_nFetchingPages;
    m_pagesUnderWay.push_back(job);
    return job;
}

void CCrawlScheduler::LaunchPage(const Ticket& job) {
    {
        const std::lock_guard<std::mutex> stepping(job->stepping);
        bool begun = false;
        // The library holds the fetch weakly: a page the walk no longer
        // holds a ticket for ends with the last of its owners here.
        std::weak_ptr<Moving> weak = job;
        const DWORD outOfMemory = OutOfMemoryIn([&] {
            try {
                begun = job->request->BeginSend([this, weak] {
                    if (const MovingPtr fetch = weak.lock()) {
                        Kick(this, fetch);
                    }
                });
            } catch (const std::system_error&) {
                // No thread for the library's engine: the page is the
                // walk's to fetch, as if it had never gone ahead.
                job->request.reset();
                job->phase = Job::Phase::kGivenBack;
            }
        });
        if (!begun) {
            EndPage(*job, outOfMemory);
            return;
        }
    }
    Kick(this, job);
}

void CCrawlScheduler::Step(Job& job) {
    bool over = false;
    const DWORD outOfMemory = OutOfMemoryIn([&] { over = Advance(job); });
    if (over || outOfMemory != 0) {
        EndPage(job, outOfMemory);
    }
}

bool CCrawlScheduler::Advance(Job& job) {
    Fetched& fetched = job.fetched;
    if (job.phase == Job::Phase::kHead && !AdvanceHead(job)) {
        return false;
    }
    if (job.phase == Job::Phase::kHead) {
        return true; // it ended without a head
    }
    if (job.phase == Job::Phase::kClaimWait) {
        if (!Resume(job)) {
            return false;
        }
        if (job.over) {
            job.request.reset(); // closed before its end: nothing of it is kept
            return true;
        }
        // Read here, where the connection lives; the library writes the
        // cache as the end is read, while the walk waits for it.
        job.reader.emplace(*job.request, BodyUse::kWalk, fetched.status, fetched.headers);
        job.phase = Job::Phase::kLateBody;
    }
    return job.reader->Read(*job.request, job.head);
}

bool CCrawlScheduler::AdvanceHead(Job& job) {
    Fetched& fetched = job.fetched;
    if (job.hopHeld) {
        if (!Resume(job)) {
            return false;
        }
        if (job.over) {
            job.request.reset(); // its next hop never goes
            return true;
        }
        job.hopHeld = false;
        DWORD zero = 0;
        static_cast<void>(InternetSetOptionW(job.request->m_hRequest, INTERNET_OPTION_HOLD_HOP,
                                             &zero, sizeof zero));
    }
    if (!HeadArrivedAs({this, nullptr, &job}, *job.request, job.url, fetched.status,
                       fetched.headers, fetched.finalUrl, job.head)) {
        if (job.hopHeld) {
            LendSlot(job);
        }
        return false;
    }
    if (job.head != FetchResult::kDone) {
        return true;
    }
    NoteResponse(job.request->m_host, fetched.finalUrl, fetched.headers);
    job.early = ReserveEarly(job);
    if (job.early) {
        job.reader.emplace(*job.request, BodyUse::kWalk, fetched.status, fetched.headers,
                           job.spill.get());
        job.phase = Job::Phase::kBody;
        return true;
    }
    // The library would not hold the body's end: the body waits on its
    // connection for the walk, its slot lent meanwhile.
    {
        const MutexLock lock(m_mutex);
        job.state = Job::State::kWaiting;
    }
    m_changed.notify_all();
    job.phase = Job::Phase::kClaimWait;
    LendSlot(job);
    return true;
}

bool CCrawlScheduler::Resume(Job& job) {
    const MutexLock lock(m_mutex);
    if (job.claimed && !job.hasSlot && !RegainSlot(job)) {
        return false;
    }
    if (job.claimed) {
        return true;
    }
    if (job.dropped || m_bStopping) {
        // Nobody will claim it: it ends unread, and what it waited to send
        // never goes.
        job.over = true;
        return true;
    }
    return false;
}

void CCrawlScheduler::EndPage(Job& job, DWORD outOfMemory) {
    job.over = true;
    job.reader.reset();
    SettlePage(job, outOfMemory);
    bool slot = false;
    {
        // No longer under way, so that another page may take its place;
        // still counted as ending, so that the scheduler outlives this.
        const MutexLock lock(m_mutex);
        slot = std::exchange(job.hasSlot, false);
        --m_nFetchingPages;
        ++m_nEndingPages;
        std::erase_if(m_pagesUnderWay, [&](const Ticket& under) { return under.get() == &job; });
    }
    if (slot) {
        m_slots.Release(); // another fetch may take its place
    }
    static_cast<void>(OutOfMemoryIn([this] { StartFetches(); }));
    const MutexLock lock(m_mutex);
    --m_nEndingPages;
    m_changed.notify_all();
}

void CCrawlScheduler::SettlePage(Job& job, DWORD outOfMemory) {
    Fetched& fetched = job.fetched;
    const bool early = job.early && job.phase == Job::Phase::kBody;
    fetched.result = job.head;
    fetched.request = std::move(job.request);
    std::unique_ptr<CHttpRequest> unclaimed;
    std::unique_ptr<std::FILE, Job::CloseFile> unclaimedSpill;
    {
        const MutexLock lock(m_mutex);
        job.outOfMemory = outOfMemory;
        if (job.phase == Job::Phase::kGivenBack) {
            // A walk already waiting for it sees it fail, as it would.
            job.state = job.claimed ? Job::State::kDone : Job::State::kTaken;
        } else if (early && job.dropped) {
            // Dropped while it was read: nobody will claim it, nor count it
            // out again. Closed with its end held, nothing of it is kept.
            unclaimed = std::move(fetched.request);
            unclaimedSpill = std::move(job.spill);
            job.state = Job::State::kTaken;
            ReleaseHeld(job);
        } else if (early) {
            SettleHeld(job);
            job.state = Job::State::kRead;
            ++m_nRead;
        } else {
            ReleaseHeld(job);
            job.state = Job::State::kDone;
        }
    }
    m_changed.notify_all();
}

void CCrawlScheduler::KickWaitingPages() {
    std::vector<Ticket> underWay;
    {
        const MutexLock lock(m_mutex);
        underWay = m_pagesUnderWay;
    }
    KickAll(underWay);
}
