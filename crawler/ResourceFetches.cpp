// SPDX-License-Identifier: Apache-2.0
// The resources the walk hands over, fetched with no thread waiting for any
// of them.
//
// Each goes out through the library's asynchronous form once a connection
// slot is free and no earlier resource is redirected to its URL. From then
// on the library calls back, on its own thread, whenever the fetch may go
// further; whichever thread gets there moves it on (Kick), one at a time,
// and never waits for the network: the head is read, the body read through
// and dropped as its bytes come (the library keeps them in the cache), and
// the fetch ends. A redirect that must wait for a resource handed over
// later is held, its slot given back meanwhile, and let go by that one's end.
#include "crawler/CrawlReport.h"
#include "crawler/CrawlRequest.h"
#include "crawler/CrawlScheduler.h"
#include "crawler/OutOfMemory.h"
#include "net/HttpRequest.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace {

/// The scheduler whose queue the calling thread is starting, if any: a
/// fetch that ends at once gives its slot back inside that loop, which
/// then sees the slot itself.
thread_local const void* t_starting = nullptr;

/// The resources the calling thread moves on now, innermost last: a kick
/// of one of them from within only asks for one more step.
thread_local std::vector<const void*> t_stepping;

struct SteppingScope {
    explicit SteppingScope(const void* resource) { t_stepping.push_back(resource); }
    ~SteppingScope() { t_stepping.pop_back(); }
    SteppingScope(const SteppingScope&) = delete;
    SteppingScope& operator=(const SteppingScope&) = delete;
};

} // namespace

void CCrawlScheduler::StartFetches() {
    if (t_starting == this) {
        return;
    }
    struct Scope {
        const void* previous = t_starting;
        ~Scope() { t_starting = previous; }
    } scope;
    t_starting = this;
    for (;;) {
        MovingPtr back;
        Ticket page;
        ResourcePtr next;
        {
            const MutexLock lock(m_mutex);
            if (!m_slotWaiters.empty()) {
                if (m_slots.TryAcquire()) {
                    back = std::move(m_slotWaiters.front());
                    m_slotWaiters.pop_front();
                    back->hasSlot = true;
                }
            } else if (page = TakePage(); !page) {
                next = TakeStartable();
            }
        }
        if (back) {
            Kick(this, back);
        } else if (page) {
            LaunchPage(page);
        } else if (next) {
            m_changed.notify_all(); // room in the queue
            Launch(next);
        } else {
            return;
        }
    }
}

CCrawlScheduler::ResourcePtr CCrawlScheduler::TakeStartable() {
    for (auto at = m_resources.begin(); at != m_resources.end(); ++at) {
        if (!MayGoNow(**at)) {
            continue; // an earlier resource's redirect to its URL is under way
        }
        if (!m_slots.TryAcquire()) {
            return nullptr;
        }
        ResourcePtr resource = std::move(*at);
        m_resources.erase(at);
        ++m_nBusy;
        resource->hasSlot = true;
        MarkSent(*resource);
        return resource;
    }
    return nullptr;
}

void CCrawlScheduler::Launch(const ResourcePtr& resource) {
    {
        const std::lock_guard<std::mutex> stepping(resource->stepping);
        const SteppingScope scope(resource.get());
        bool begun = false;
        const DWORD outOfMemory = OutOfMemoryIn([&] {
            if (!JudgedSent(*resource)) {
                return;
            }
            try {
                begun = resource->request->BeginSend([this, resource] { Kick(this, resource); });
            } catch (const std::system_error&) {
                // No thread for the library's engine: skipped, as a
                // resource that cannot be fetched is.
            }
        });
        if (!begun) {
            Complete(*resource, outOfMemory);
            return;
        }
    }
    Kick(this, resource);
}

void CCrawlScheduler::Kick(CCrawlScheduler* owner, const MovingPtr& fetch) {
    fetch->kicked = true;
    if (std::find(t_stepping.begin(), t_stepping.end(), fetch.get()) != t_stepping.end()) {
        return; // this thread steps it once more
    }
    while (fetch->kicked) {
        const std::unique_lock<std::mutex> stepping(fetch->stepping, std::try_to_lock);
        if (!stepping.owns_lock()) {
            return; // its holder steps once more
        }
        fetch->kicked = false;
        // A fetch that ended may have taken its scheduler with it.
        if (fetch->over) {
            return;
        }
        t_stepping.reserve(t_stepping.size() + 1); // the scope below cannot throw
        const SteppingScope scope(fetch.get());
        fetch->StepWith(*owner);
    }
}

void CCrawlScheduler::Step(Resource& resource) {
    bool over = false;
    DWORD outOfMemory = OutOfMemoryIn([&] { over = Advance(resource); });
    if (!over && outOfMemory == 0) {
        return;
    }
    if (outOfMemory == 0 && resource.result != FetchResult::kNotSent &&
        resource.result != FetchResult::kNoResponse) {
        outOfMemory = OutOfMemoryIn(
            [&] { NoteResponse(resource.request->m_host, resource.finalUrl, resource.headers); });
    }
    Complete(resource, outOfMemory);
}

bool CCrawlScheduler::Advance(Resource& resource) {
    if (!resource.reader && !AdvanceHead(resource)) {
        return false;
    }
    if (!resource.reader) {
        return true; // no head: the fetch is over
    }
    return resource.reader->Read(*resource.request, resource.result);
}

bool CCrawlScheduler::AdvanceHead(Resource& resource) {
    if (resource.hopHeld && !ResumeHop(resource)) {
        return false;
    }
    const Fetching as{m_bHoldsRedirects ? this : nullptr, &resource};
    if (!HeadArrivedAs(as, *resource.request, resource.url, resource.status, resource.headers,
                       resource.finalUrl, resource.result)) {
        if (resource.hopHeld) {
            LendSlot(resource);
        }
        return false;
    }
    if (resource.result != FetchResult::kDone) {
        return true;
    }
    EndsAt(resource);
    resource.reader.emplace(*resource.request, BodyUse::kDrop, resource.status, resource.headers);
    return true;
}

bool CCrawlScheduler::HeadArrivedAs(const Fetching& as, CHttpRequest& request,
                                    const CVELString& requested, DWORD& status, CVELString& headers,
                                    CVELString& finalUrl, FetchResult& result) {
    struct Scope {
        Fetching& fetching;
        ~Scope() { fetching = {}; }
    } scope{FetchingResource()};
    scope.fetching = as;
    return HeadArrived(request, requested, status, headers, finalUrl, result);
}

void CCrawlScheduler::EndsAt(Resource& resource) {
    // A fetch redirected elsewhere will write the cache there too: from now
    // on the walk waits for it before it judges that URL.
    const std::uint64_t endKey = KeyHash(resource.finalUrl.GetData());
    const MutexLock lock(m_mutex);
    if (endKey != resource.key && std::find(resource.hopKeys.begin(), resource.hopKeys.end(),
                                            endKey) == resource.hopKeys.end()) {
        resource.hopKeys.push_back(endKey); // first: should it throw, nothing is counted
        AddUnfinished(endKey);
    }
}

void CCrawlScheduler::LendSlot(Moving& fetch) {
    // Its connection is idle while it waits: whatever it waits for, or the
    // walk, may need the slot.
    {
        const MutexLock lock(m_mutex);
        if (!std::exchange(fetch.hasSlot, false)) {
            return;
        }
    }
    m_slots.Release();
}

bool CCrawlScheduler::RegainSlot(Moving& fetch) {
    // Fetches that gave their slot back go before any new one takes a slot.
    if (m_slotWaiters.empty() && m_slots.TryAcquire()) {
        fetch.hasSlot = true;
        return true;
    }
    if (std::none_of(m_slotWaiters.begin(), m_slotWaiters.end(),
                     [&](const MovingPtr& waiting) { return waiting.get() == &fetch; })) {
        m_slotWaiters.push_back(fetch.shared_from_this());
    }
    return false;
}

bool CCrawlScheduler::ResumeHop(Resource& resource) {
    bool standIn = false;
    {
        const MutexLock lock(m_mutex);
        if (!resource.letGo || (!resource.hasSlot && !RegainSlot(resource))) {
            return false;
        }
        standIn = resource.standIn;
    }
    resource.hopHeld = false;
    const HINTERNET handle = resource.request->m_hRequest;
    if (standIn && DownloadedThisRun(resource.hopUrl.c_str(), m_syncStart)) {
        DWORD one = 1;
        static_cast<void>(
            InternetSetOptionW(handle, INTERNET_OPTION_HOP_FROM_CACHE, &one, sizeof one));
    }
    DWORD zero = 0;
    static_cast<void>(InternetSetOptionW(handle, INTERNET_OPTION_HOLD_HOP, &zero, sizeof zero));
    return true;
}

void CCrawlScheduler::Complete(Resource& resource, DWORD outOfMemory) {
    // The body was read to its end, so the cache holds what the fetch
    // leaves: once counted out below, the walk may judge its URLs.
    resource.request.reset();
    resource.over = true;
    bool slot = false;
    {
        const MutexLock lock(m_mutex);
        slot = std::exchange(resource.hasSlot, false);
    }
    // Running out of memory here must neither keep the fetch counted nor
    // its slot taken: the crawl would wait for them for ever.
    const DWORD failure = OutOfMemoryIn([&] { CountOut(resource); });
    if (slot) {
        m_slots.Release();
    }
    const MutexLock lock(m_mutex);
    if (outOfMemory != 0 || failure != 0) {
        m_dwOutOfMemory = outOfMemory != 0 ? outOfMemory : failure;
    }
    // Counted out last: once none is busy, the scheduler may end.
    --m_nBusy;
    m_changed.notify_all();
}

void CCrawlScheduler::CountOut(Resource& resource) {
    std::vector<ResourcePtr> letGo;
    {
        const MutexLock lock(m_mutex);
        RemoveUnfinished(resource.key);
        for (const std::uint64_t key : resource.hopKeys) {
            RemoveUnfinished(key);
        }
        // Answered at its own URL when no redirect led it elsewhere.
        Finish(resource, resource.hopKeys.empty());
        // Running out of memory may end a fetch that waited.
        std::erase_if(m_heldHops, [&](const ResourcePtr& held) { return held.get() == &resource; });
        std::erase_if(m_slotWaiters,
                      [&](const MovingPtr& held) { return held.get() == &resource; });
        letGo = LetGoHops();
    }
    m_changed.notify_all(); // the walk may judge its URLs now
    KickAll(letGo);
    StartFetches(); // one waiting for this one's redirect may go
}
