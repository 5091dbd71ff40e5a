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
        for (const std::weak_ptr<SessionCore>& weak : sessions_) {
            if (const std::shared_ptr<SessionCore> session = weak.lock()) {
                session->DropPoolsOf(self);
            }
        }
    }
    void Note(const std::shared_ptr<SessionCore>& session) {
        for (const std::weak_ptr<SessionCore>& weak : sessions_) {
            if (!weak.owner_before(session) && !session.owner_before(weak)) {
                return;
            }
        }
        sessions_.push_back(session);
    }

  private:
    std::vector<std::weak_ptr<SessionCore>> sessions_;
};

thread_local ThreadPoolsGuard t_poolsGuard;

} // namespace

SessionCore::SessionCore(ProxySettings proxy, std::string agent)
    : proxy_(std::move(proxy)), agent_(std::move(agent)), cookies_(curl_share_init()) {
    if (cookies_) {
        curl_share_setopt(cookies_.get(), CURLSHOPT_LOCKFUNC, LockShared);
        curl_share_setopt(cookies_.get(), CURLSHOPT_UNLOCKFUNC, UnlockShared);
        curl_share_setopt(cookies_.get(), CURLSHOPT_USERDATA, this);
        curl_share_setopt(cookies_.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    }
}

SessionCore::~SessionCore() {
    pools_.clear(); // before the cookie store, which their connections may still name
}

void SessionCore::LockShared(CURL*, curl_lock_data data, curl_lock_access, void* self) {
    static_cast<SessionCore*>(self)->shareLocks_[static_cast<std::size_t>(data)].lock();
}

void SessionCore::UnlockShared(CURL*, curl_lock_data data, void* self) {
    static_cast<SessionCore*>(self)->shareLocks_[static_cast<std::size_t>(data)].unlock();
}

TransferPool* SessionCore::PoolFor(DWORD tlsLeniency) {
    const std::thread::id self = std::this_thread::get_id();
    TransferPool* found = nullptr;
    bool made = false;
    {
        const std::lock_guard lock(poolsMutex_);
        auto& pool = pools_[{self, tlsLeniency}];
        if (!pool) {
            auto fresh = std::make_unique<TransferPool>();
            if (!fresh->Valid()) {
                pools_.erase({self, tlsLeniency});
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
        const std::lock_guard lock(poolsMutex_);
        for (auto it = pools_.begin(); it != pools_.end();) {
            if (it->first.first == thread && it->second->Idle()) {
                doomed.push_back(std::move(it->second));
                it = pools_.erase(it);
            } else {
                ++it;
            }
        }
    }
    // Closed outside the lock: closing connections may take a moment.
}

} // namespace inet
