// SPDX-License-Identifier: Apache-2.0
// A redirect hop answered from the URL cache: the entry kept for the hop's
// URL stands for the server's answer, so that a request whose next hop
// another request has just fetched and kept need not ask for it again.
#include "platform/inet/HttpTransfer.h"
#include "platform/inet/TlsVerification.h"
#include "platform/inet/WireText.h"
#include "platform/kernel/LastError.h"

#include <string_view>

namespace inet {

namespace {

/// The head kept with an entry, read back line by line.
ResponseHead KeptHead(std::string_view text) {
    ResponseHead head;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::size_t length = end == std::string_view::npos ? text.size() : end + 1;
        if (head.AddLine(text.substr(0, length))) {
            break;
        }
        text.remove_prefix(length);
    }
    return head;
}

} // namespace

bool HttpTransfer::AnswerHopFromCache() {
    urlcache::CacheResult<std::shared_ptr<const urlcache::StoredCopy>> copy =
        urlcache::OpenCopy(WithoutFragment(std::string_view(m_hopUrl)));
    if (!copy) {
        return false;
    }
    ResponseHead head = KeptHead((*copy)->Entry().head);
    if (!head.Complete() || head.Status() != 200) {
        return false;
    }
    EndHop();
    m_head = std::move(head);
    m_window.Clear();
    m_location.clear();
    m_cacheFailure = {};
    m_redirecting = m_connected = m_paused = m_bodyEnded = false;
    m_finalHead = m_done = true;
    m_result = CURLE_OK;
    m_failure = 0;
    // The hop counts as the chain's next one, and the entry brings its own
    // mark: what it leads to is verified only when both were.
    m_chainUnverified = m_chainUnverified || !m_hopSecure ||
                        TlsLeniency(m_tls.securityFlags) != 0 || (*copy)->Entry().unverified;
    m_cachedHop = std::move(*copy);
    m_cachedOffset = 0;
    m_cacheWanted = WantsCache();
    m_cache = m_cacheWanted ? urlcache::CacheWriter::Begin(m_cacheFailure) : nullptr;
    m_started = true;
    return true;
}

DWORD HttpTransfer::TakeCachedBody(char* out, DWORD size, DWORD* read, bool* ended) {
    const urlcache::CacheResult<std::size_t> got = m_cachedHop->Read(m_cachedOffset, out, size);
    if (!got) {
        return ERROR_INTERNET_INTERNAL_ERROR;
    }
    m_cachedOffset += *got;
    *read = static_cast<DWORD>(*got);
    *ended = *got == 0;
    return 0;
}

} // namespace inet
