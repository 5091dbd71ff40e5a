// SPDX-License-Identifier: Apache-2.0
// What a session shares with its connections and requests: the cookie
// store, the transfer engine, the proxy choice, the agent text and the
// status callback.
//
// Connection and request handles hold it by shared pointer, so closing the
// session handle first does not pull the ground from under open requests.
//
// Requests of one session may run on several threads at once; they all
// go through the session's one engine (TransferEngine.h), so its kept-alive
// connections and HTTP/2 streams serve every thread. The cookie store and
// the TLS sessions are shared under locks, for the status callback's
// threads as much as the engine's.
#pragma once

#include "platform/inet/CurlHandles.h"
#include "platform/inet/TlsVerification.h"
#include "platform/inet/TransferEngine.h"
#include "platform/inet/WinInet.h"
#include "platform/kernel/ThreadSafety.h"
#include "platform/kernel/WinTypes.h"

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
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
    ~SessionCore() = default;
    SessionCore(const SessionCore&) = delete;
    SessionCore& operator=(const SessionCore&) = delete;

    /// False when libcurl could not make the cookie store.
    bool Valid() const {
        return m_cookies != nullptr && m_tlsSessions != nullptr && m_engine.Valid();
    }

    /// The engine every request of the session runs on.
    TransferEngine& Engine() { return m_engine; }

    /// Whether https requests offer HTTP/2 (INTERNET_OPTION_ENABLE_HTTP_PROTOCOL).
    bool OffersHttp2() const { return m_http2.load(); }
    void SetOffersHttp2(bool offer) { m_http2.store(offer); }

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
    TransferEngine m_engine; // after the shares: its connections name them
    std::atomic<bool> m_http2{false};
    std::atomic<INTERNET_STATUS_CALLBACK> m_callback{nullptr};
};

} // namespace inet
