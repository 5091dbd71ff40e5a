// SPDX-License-Identifier: Apache-2.0
// Resources that redirect to the URL of a resource handed over after them.
//
// With one connection the earlier resource is fetched first, its redirect
// followed to the later one's URL and kept there, and the later one is then
// judged as already downloaded and never asked for. Fetched side by side,
// the later one may be queued, or on its way, by the time the earlier
// one's redirect is known. Not sent yet, it waits for that redirect to end
// and is judged again; on its way, the redirect waits for it instead, and
// is answered from the entry it kept. Either way the server sees the URL as
// often as with one connection.
#include "crawler/CrawlRequest.h"
#include "crawler/CrawlScheduler.h"

#include <algorithm>
#include <utility>

void CCrawlScheduler::Register(Resource& resource) {
    resource.seq = ++m_nHanded;
    // Redirects to its URL seen by the time the walk judged it.
    const auto hops = m_hops.find(resource.key);
    resource.hopsSeen = resource.key == m_judgedKey ? m_judgedHops
                        : hops == m_hops.end()      ? 0
                                                    : hops->second.seen.size();
    m_handed[resource.key] = Handed{resource.seq, false, false, false};
}

bool CCrawlScheduler::MayGoNow(Resource& resource) {
    // Only redirects of resources handed over before this one count: with
    // one connection they came first.
    const auto hops = m_hops.find(resource.key);
    resource.judgeAgain = false;
    if (hops == m_hops.end()) {
        return true;
    }
    const std::multiset<std::uint64_t>& underway = hops->second.underway;
    if (!underway.empty() && *underway.begin() < resource.seq) {
        return false;
    }
    const std::vector<std::uint64_t>& seen = hops->second.seen;
    resource.judgeAgain =
        std::any_of(seen.begin() + static_cast<std::ptrdiff_t>(resource.hopsSeen), seen.end(),
                    [&resource](std::uint64_t seq) { return seq < resource.seq; });
    return true;
}

void CCrawlScheduler::MarkSent(Resource& resource) {
    if (Handed& handed = m_handed[resource.key]; handed.seq == resource.seq) {
        handed.sent = true;
    }
}

bool CCrawlScheduler::JudgedSent(Resource& resource) {
    // One connection would judge it only now, after the redirect that led
    // to its URL: what that kept needs no second request.
    resource.sent = !resource.judgeAgain || !DownloadedThisRun(resource.url.GetData(), m_syncStart);
    return resource.sent;
}

bool CCrawlScheduler::MaySend(Resource& resource) {
    {
        MutexLock lock(m_mutex);
        while (!MayGoNow(resource)) {
            m_changed.wait(lock);
        }
        MarkSent(resource);
    }
    return JudgedSent(resource);
}

void CCrawlScheduler::Finish(Resource& resource, bool direct) {
    for (const std::uint64_t key : resource.aheadOf) {
        std::multiset<std::uint64_t>& underway = m_hops[key].underway;
        if (const auto at = underway.find(resource.seq); at != underway.end()) {
            underway.erase(at);
        }
    }
    if (Handed& handed = m_handed[resource.key]; handed.seq == resource.seq) {
        handed.finished = true;
        handed.standsIn = resource.sent && direct;
    }
}

void CCrawlScheduler::Redirected(Resource& resource, HINTERNET handle, const char16_t* url) {
    const std::uint64_t key = KeyHash(url);
    bool held = false;
    bool standIn = false;
    {
        const MutexLock lock(m_mutex);
        if (resource.seq == 0 || key == resource.key ||
            std::find(resource.hopKeys.begin(), resource.hopKeys.end(), key) !=
                resource.hopKeys.end()) {
            return;
        }
        // From now on the walk waits for this hop before it judges the URL.
        // (Each list grows first: should that throw, nothing is counted.)
        resource.hopKeys.push_back(key);
        AddUnfinished(key);
        const auto handed = m_handed.find(key);
        if (handed == m_handed.end() || handed->second.seq < resource.seq || !handed->second.sent) {
            // A resource of that URL handed over later waits for this hop,
            // and is judged again after it.
            resource.aheadOf.reserve(resource.aheadOf.size() + 1);
            Hops& hops = m_hops[key];
            hops.underway.insert(resource.seq);
            resource.aheadOf.push_back(key);
            hops.seen.push_back(resource.seq);
            return;
        }
        if (handed->second.finished) {
            // Its one request stands in for one hop only: with one
            // connection every hop to the URL asks the network.
            standIn = std::exchange(handed->second.standsIn, false);
        } else {
            // The hop waits for the later one to end, and is let go by it.
            m_heldHops.push_back(std::static_pointer_cast<Resource>(resource.shared_from_this()));
            resource.holdKey = key;
            resource.holdFor = handed->second.seq;
            resource.letGo = false;
            held = true;
        }
    }
    if (held) {
        DWORD one = 1;
        if (InternetSetOptionW(handle, INTERNET_OPTION_HOLD_HOP, &one, sizeof one)) {
            resource.hopUrl.assign(url);
            resource.hopHeld = true;
            return;
        }
        // A hop that cannot be held asks the network at once.
        const MutexLock lock(m_mutex);
        std::erase_if(m_heldHops, [&](const ResourcePtr& held) { return held.get() == &resource; });
        return;
    }
    if (standIn && DownloadedThisRun(url, m_syncStart)) {
        // Refused, the hop asks the network, as it would have anyway.
        DWORD one = 1;
        static_cast<void>(
            InternetSetOptionW(handle, INTERNET_OPTION_HOP_FROM_CACHE, &one, sizeof one));
    }
}

std::vector<CCrawlScheduler::ResourcePtr> CCrawlScheduler::LetGoHops() {
    std::vector<ResourcePtr> letGo;
    letGo.reserve(m_heldHops.size()); // nothing is let go half-way
    for (auto at = m_heldHops.begin(); at != m_heldHops.end();) {
        Resource& resource = **at;
        Handed& handed = m_handed[resource.holdKey];
        if (!handed.finished && handed.seq == resource.holdFor) {
            ++at;
            continue;
        }
        // Its one request stands in for one hop only: with one connection
        // every hop to the URL asks the network, and it is skipped instead.
        resource.standIn = handed.seq == resource.holdFor && std::exchange(handed.standsIn, false);
        resource.letGo = true;
        letGo.push_back(std::move(*at));
        at = m_heldHops.erase(at);
    }
    return letGo;
}

CCrawlScheduler::OwnFetch::OwnFetch(CCrawlScheduler* scheduler, const CVELString& url)
    : m_pScheduler(scheduler) {
    if (m_pScheduler == nullptr) {
        return;
    }
    m_resource.url.Assign(url);
    m_resource.key = KeyHash(url.GetData());
    std::vector<ResourcePtr> letGo;
    {
        const MutexLock lock(m_pScheduler->m_mutex);
        m_pScheduler->Register(m_resource);
        letGo = m_pScheduler->LetGoHops();
    }
    m_pScheduler->KickAll(letGo);
}

CCrawlScheduler::OwnFetch::~OwnFetch() {
    if (m_pScheduler == nullptr) {
        return;
    }
    std::vector<ResourcePtr> letGo;
    {
        const MutexLock lock(m_pScheduler->m_mutex);
        m_pScheduler->Finish(m_resource, m_bDirect);
        letGo = m_pScheduler->LetGoHops();
    }
    m_pScheduler->m_changed.notify_all();
    m_pScheduler->KickAll(letGo);
    m_pScheduler->StartFetches(); // a resource waiting for this one's URL may go
}

bool CCrawlScheduler::OwnFetch::MaySend() {
    return m_pScheduler == nullptr || m_pScheduler->MaySend(m_resource);
}

void CCrawlScheduler::OwnFetch::EndedAt(const CVELString& finalUrl) {
    m_bDirect = m_pScheduler != nullptr && KeyHash(finalUrl.GetData()) == m_resource.key;
}
