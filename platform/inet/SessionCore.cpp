// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/SessionCore.h"

namespace inet {

SessionCore::SessionCore(ProxySettings proxy, std::string agent)
    : m_proxy(std::move(proxy)), m_agent(std::move(agent)), m_cookies(curl_share_init()),
      m_tlsSessions(curl_share_init()) {
    for (CURLSH* share : {m_cookies.get(), m_tlsSessions.get()}) {
        if (share != nullptr) {
            curl_share_setopt(share, CURLSHOPT_LOCKFUNC, LockShared);
            curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, UnlockShared);
            curl_share_setopt(share, CURLSHOPT_USERDATA, this);
            curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
        }
    }
    if (m_cookies) {
        curl_share_setopt(m_cookies.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    }
}

void SessionCore::LockShared(CURL*, curl_lock_data data, curl_lock_access, void* self) {
    static_cast<SessionCore*>(self)->m_shareLocks[static_cast<std::size_t>(data)].lock();
}

void SessionCore::UnlockShared(CURL*, curl_lock_data data, void* self) {
    static_cast<SessionCore*>(self)->m_shareLocks[static_cast<std::size_t>(data)].unlock();
}

} // namespace inet
