#include "platform/inet/SessionCore.h"

namespace inet {

SessionCore::SessionCore(ProxySettings proxy, std::string agent)
    : proxy_(std::move(proxy)), agent_(std::move(agent)), cookies_(curl_share_init()) {
    if (cookies_) {
        curl_share_setopt(cookies_.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    }
}

TransferPool* SessionCore::PoolFor(DWORD tlsLeniency) {
    auto& pool = pools_[tlsLeniency];
    if (!pool) {
        auto made = std::make_unique<TransferPool>();
        if (!made->Valid()) {
            pools_.erase(tlsLeniency);
            return nullptr;
        }
        pool = std::move(made);
    }
    return pool.get();
}

} // namespace inet
