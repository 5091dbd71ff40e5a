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

bool CCrawlScheduler::MaySend(Resource& resource) {
    bool judgeAgain = false;
    {
        MutexLock lock(m_mutex);
        // Only redirects of resources handed over before this one count:
        // with one connection they came first.
        for (;;) {
            const auto hops = m_hops.find(resource.key);
            if (hops == m_hops.end()) {
                break;
            }
            const std::multiset<std::uint64_t>& underway = hops->second.underway;
            if (underway.empty() || *underway.begin() > resource.seq) {
                const std::vector<std::uint64_t>& seen = hops->second.seen;
                judgeAgain = std::any_of(
                    seen.begin() + static_cast<std::ptrdiff_t>(resource.hopsSeen), seen.end(),
                    [&resource](std::uint64_t seq) { return seq < resource.seq; });
                break;
            }
            m_changed.wait(lock);
        }
        if (Handed& handed = m_handed[resource.key]; handed.seq == resource.seq) {
            handed.sent = true;
        }
    }
    // One connection would judge it only now, after the redirect that led
    // to its URL: what that kept needs no second request.
    resource.sent = !judgeAgain || !DownloadedThisRun(resource.url.GetData(), m_syncStart);
    return resource.sent;
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
    std::uint64_t later = 0; // the resource handed over after this one, already sent
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
        later = handed->second.seq;
    }
    bool standIn = false;
    {
        // The hop's connection is idle while it waits.
        const CConnectionSlots::Lent lent;
        MutexLock lock(m_mutex);
        while (!m_handed[key].finished && m_handed[key].seq == later) {
            m_changed.wait(lock);
        }
        // Its one request stands in for one hop only: with one connection
        // every hop to the URL asks the network, and it is skipped instead.
        Handed& handed = m_handed[key];
        standIn = handed.seq == later && std::exchange(handed.standsIn, false);
    }
    if (standIn && DownloadedThisRun(url, m_syncStart)) {
        // Refused, the hop asks the network, as it would have anyway.
        DWORD one = 1;
        static_cast<void>(
            InternetSetOptionW(handle, INTERNET_OPTION_HOP_FROM_CACHE, &one, sizeof one));
    }
}

CCrawlScheduler::OwnFetch::OwnFetch(CCrawlScheduler* scheduler, const CVELString& url)
    : m_pScheduler(scheduler) {
    if (m_pScheduler == nullptr) {
        return;
    }
    m_resource.url.Assign(url);
    m_resource.key = KeyHash(url.GetData());
    const MutexLock lock(m_pScheduler->m_mutex);
    m_pScheduler->Register(m_resource);
}

CCrawlScheduler::OwnFetch::~OwnFetch() {
    if (m_pScheduler == nullptr) {
        return;
    }
    {
        const MutexLock lock(m_pScheduler->m_mutex);
        m_pScheduler->Finish(m_resource, m_bDirect);
    }
    m_pScheduler->m_changed.notify_all();
}

bool CCrawlScheduler::OwnFetch::MaySend() {
    return m_pScheduler == nullptr || m_pScheduler->MaySend(m_resource);
}

void CCrawlScheduler::OwnFetch::EndedAt(const CVELString& finalUrl) {
    m_bDirect = m_pScheduler != nullptr && KeyHash(finalUrl.GetData()) == m_resource.key;
}
