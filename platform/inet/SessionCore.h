// SPDX-License-Identifier: Apache-2.0
// What a session shares with its connections and requests: the cookie
// store, the connection pools, the proxy choice, the agent text and the
// status callback.
//
// Connection and request handles hold it by shared pointer, so closing the
// session handle first does not pull the ground from under open requests.
//
// Requests of one session may run on several threads at once. A libcurl
// multi handle must be driven by one thread, so each thread gets a pool of
// its own (a thread's kept-alive connections serve that thread), dropped
// when the thread ends; the cookie store and the TLS sessions are shared
// under locks. Requests with any security flags share connections: each
// is judged on the connection it would use (TlsVerification.h).
#pragma once

#include "platform/inet/CurlHandles.h"
#include "platform/inet/TlsVerification.h"
#include "platform/inet/TransferPool.h"
#include "platform/inet/WinInet.h"
#include "platform/kernel/ThreadSafety.h"
#include "platform/kernel/WinTypes.h"

#include <array>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace inet {

struct ProxySettings {
    DWORD accessType = 0;
    std::string proxy;  // for INTERNET_OPEN_TYPE_PROXY
    std::string bypass; // comma-separated hosts that go direct
};

class SessionCore : public std::enable_shared_from_this<SessionCore> {
  public:
    SessionCore(ProxySettings proxy, std::string agent);
    ~SessionCore();
    SessionCore(const SessionCore&) = delete;
    SessionCore& operator=(const SessionCore&) = delete;

    /// False when libcurl could not make the cookie store.
    bool Valid() const { return m_cookies != nullptr && m_tlsSessions != nullptr; }

    /// The calling thread's pool. Made on first use; null when libcurl
    /// cannot make one.
    TransferPool* Pool();

    /// Drops the idle pools of thread `thread` (it has ended).
    void DropPoolsOf(std::thread::id thread);

    /// The session's cookies, shared by every request that uses cookies,
    /// with the TLS sessions their connections may resume.
    CURLSH* CookieStore() const { return m_cookies.get(); }
    /// The TLS sessions requests without cookies may resume.
    CURLSH* TlsSessions() const { return m_tlsSessions.get(); }
    /// What each host's certificate chain was last seen to need forgiven.
    TlsVerdicts& Verdicts() { return m_verdicts; }

    const ProxySettings& Proxy() const { return m_proxy; }
    const std::string& Agent() const { return m_agent; }

    /// Sets the status callback (null for none); returns the one before.
    INTERNET_STATUS_CALLBACK SetCallback(INTERNET_STATUS_CALLBACK callback) {
        return m_callback.exchange(callback);
    }
    /// Tells the status callback, when there is one, about `request`.
    void Notify(HINTERNET request, DWORD status, void* information, DWORD length) const {
        if (const INTERNET_STATUS_CALLBACK callback = m_callback.load()) {
            callback(request, 0, status, information, length);
        }
    }

  private:
    static void LockShared(CURL*, curl_lock_data data, curl_lock_access, void* self);
    static void UnlockShared(CURL*, curl_lock_data data, void* self);

    ProxySettings m_proxy;
    std::string m_agent;
    std::array<std::mutex, CURL_LOCK_DATA_LAST> m_shareLocks; // before m_cookies: it uses them
    CurlShare m_cookies;
    CurlShare m_tlsSessions;
    TlsVerdicts m_verdicts;
    AnnotatedMutex m_poolsMutex;
    std::map<std::thread::id, std::unique_ptr<TransferPool>>
        m_pools DRAVIK_GUARDED_BY(m_poolsMutex);
    std::atomic<INTERNET_STATUS_CALLBACK> m_callback{nullptr};
};

} // namespace inet
