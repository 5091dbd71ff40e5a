// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/SessionCore.h"

#include <vector>

namespace inet {

namespace {

/// The sessions whose pools the current thread has used; when the thread
/// ends, each that still lives drops that thread's idle pools, so their
/// connections close with the thread.
class ThreadPoolsGuard {
  public:
    ~ThreadPoolsGuard() {
        const std::thread::id self = std::this_thread::get_id();
        for (const std::weak_ptr<SessionCore>& weak : m_sessions) {
            if (const std::shared_ptr<SessionCore> session = weak.lock()) {
                session->DropPoolsOf(self);
            }
        }
    }
    void Note(const std::shared_ptr<SessionCore>& session) {
        for (const std::weak_ptr<SessionCore>& weak : m_sessions) {
            if (!weak.owner_before(session) && !session.owner_before(weak)) {
                return;
            }
        }
        m_sessions.push_back(session);
    }

  private:
    std::vector<std::weak_ptr<SessionCore>> m_sessions;
};

thread_local ThreadPoolsGuard t_poolsGuard;

} // namespace

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

SessionCore::~SessionCore() {
    m_pools.clear(); // before the cookie store, which their connections may still name
}

void SessionCore::LockShared(CURL*, curl_lock_data data, curl_lock_access, void* self) {
    static_cast<SessionCore*>(self)->m_shareLocks[static_cast<std::size_t>(data)].lock();
}

void SessionCore::UnlockShared(CURL*, curl_lock_data data, void* self) {
    static_cast<SessionCore*>(self)->m_shareLocks[static_cast<std::size_t>(data)].unlock();
}

TransferPool* SessionCore::Pool() {
    const std::thread::id self = std::this_thread::get_id();
    TransferPool* found = nullptr;
    bool made = false;
    {
        const MutexLock lock(m_poolsMutex);
        auto& pool = m_pools[self];
        if (!pool) {
            auto fresh = std::make_unique<TransferPool>();
            if (!fresh->Valid()) {
                m_pools.erase(self);
                return nullptr;
            }
            pool = std::move(fresh);
            made = true;
        }
        found = pool.get();
    }
    if (made) {
        // Sessions live in shared pointers (the handles hold them); one made
        // otherwise has no thread to outlive.
        if (const std::shared_ptr<SessionCore> shared = weak_from_this().lock()) {
            t_poolsGuard.Note(shared);
        }
    }
    return found;
}

void SessionCore::DropPoolsOf(std::thread::id thread) {
    std::vector<std::unique_ptr<TransferPool>> doomed;
    {
        const MutexLock lock(m_poolsMutex);
        for (auto it = m_pools.begin(); it != m_pools.end();) {
            if (it->first == thread && it->second->Idle()) {
                doomed.push_back(std::move(it->second));
                it = m_pools.erase(it);
            } else {
                ++it;
            }
        }
    }
    // Closed outside the lock: closing connections may take a moment.
}

} // namespace inet
