// What a session shares with its connections and requests: the cookie
// store, the connection pools, the proxy choice and the agent text.
//
// Connection and request handles hold it by shared pointer, so closing the
// session handle first does not pull the ground from under open requests.
#pragma once

#include "platform/inet/CurlHandles.h"
#include "platform/inet/TransferPool.h"
#include "platform/kernel/WinTypes.h"

#include <map>
#include <memory>
#include <string>

namespace inet {

struct ProxySettings {
    DWORD accessType = 0;
    std::string proxy;  // for INTERNET_OPEN_TYPE_PROXY
    std::string bypass; // comma-separated hosts that go direct
};

class SessionCore {
  public:
    SessionCore(ProxySettings proxy, std::string agent);

    /// False when libcurl could not make the cookie store.
    bool Valid() const { return cookies_ != nullptr; }

    /// The pool for transfers with this certificate leniency (the security
    /// flags that relax certificate checks). Made on first use; null when
    /// libcurl cannot make one.
    TransferPool* PoolFor(DWORD tlsLeniency);

    /// The session's cookies, shared by every request that uses cookies.
    CURLSH* CookieStore() const { return cookies_.get(); }

    const ProxySettings& Proxy() const { return proxy_; }
    const std::string& Agent() const { return agent_; }

  private:
    ProxySettings proxy_;
    std::string agent_;
    CurlShare cookies_;
    std::map<DWORD, std::unique_ptr<TransferPool>> pools_;
};

} // namespace inet
