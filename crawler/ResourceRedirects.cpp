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

bool CCrawlScheduler::MaySend(Resource& resource) {
    bool judgeAgain = false;
    {
        MutexLock lock(m_mutex);
        // Only redirects of resources handed over before this one count:
        // with one connection they came first.
        for (;;) {
            const std::multiset<std::uint64_t>& underway = m_hops[resource.key].underway;
            if (underway.empty() || *underway.begin() > resource.seq) {
                break;
            }
            m_changed.wait(lock);
        }
        const std::vector<std::uint64_t>& seen = m_hops[resource.key].seen;
        judgeAgain =
            std::any_of(seen.begin() + static_cast<std::ptrdiff_t>(resource.hopsSeen), seen.end(),
                        [&resource](std::uint64_t seq) { return seq < resource.seq; });
        if (Handed& handed = m_handed[resource.key]; handed.seq == resource.seq) {
            handed.sent = true;
        }
    }
    // One connection would judge it only now, after the redirect that led
    // to its URL: what that kept needs no second request.
    return !judgeAgain || !DownloadedThisRun(resource.url.GetData(), m_syncStart);
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
            Hops& hops = m_hops[key];
            hops.seen.reserve(hops.seen.size() + 1);
            resource.aheadOf.push_back(key);
            hops.underway.insert(resource.seq);
            hops.seen.push_back(resource.seq);
            return;
        }
        later = handed->second.seq;
    }
    {
        // The hop's connection is idle while it waits.
        const CConnectionSlots::Lent lent;
        MutexLock lock(m_mutex);
        while (!m_handed[key].finished && m_handed[key].seq == later) {
            m_changed.wait(lock);
        }
    }
    if (DownloadedThisRun(url, m_syncStart)) {
        // Refused, the hop asks the network, as it would have anyway.
        DWORD one = 1;
        static_cast<void>(
            InternetSetOptionW(handle, INTERNET_OPTION_HOP_FROM_CACHE, &one, sizeof one));
    }
}
