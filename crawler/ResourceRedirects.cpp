// SPDX-License-Identifier: Apache-2.0
// Resources that redirect to the URL of a resource handed over after them.
//
// With one connection the earlier resource is fetched first, its redirect
// followed to the later one's URL and kept there, and the later one is then
// judged as already downloaded and never asked for. Fetched side by side,
// the later one may be queued, or on its way, by the time the earlier
// one's redirect is known. Queued, it waits for that redirect to end and
// is judged again; on its way, the redirect waits for it instead, and is
// answered from the entry it kept. Either way the server sees the URL as
// often as with one connection.
#include "crawler/CrawlRequest.h"
#include "crawler/CrawlScheduler.h"

#include <algorithm>

bool CCrawlScheduler::MaySend(Resource& resource) {
    bool judgeAgain = false;
    {
        MutexLock lock(m_mutex);
        while (m_hopsAhead[resource.key] > 0) {
            m_changed.wait(lock);
        }
        judgeAgain = m_hopsSeen[resource.key] != resource.hopsSeen;
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
        if (key == resource.key || std::find(resource.hopKeys.begin(), resource.hopKeys.end(),
                                             key) != resource.hopKeys.end()) {
            return;
        }
        // From now on the walk waits for this hop before it judges the URL.
        AddUnfinished(key);
        resource.hopKeys.push_back(key);
        const auto handed = m_handed.find(key);
        if (handed == m_handed.end() || handed->second.seq < resource.seq) {
            return;
        }
        if (!handed->second.sent) {
            ++m_hopsAhead[key];
            ++m_hopsSeen[key];
            resource.aheadOf.push_back(key);
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
