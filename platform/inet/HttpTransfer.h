// SPDX-License-Identifier: Apache-2.0
// One HTTP exchange of a request handle: the hops of its redirect chain,
// the head of the final response and its body as it streams in.
//
// The transfer runs on the session's engine (TransferEngine.h); the caller
// waits inside HttpSendRequestW and InternetReadFile, driving the engine
// while no other thread does. The body passes through a small BodyWindow; when it is
// full libcurl is paused, so the network is read no faster than the caller
// reads. Fields the libcurl callbacks touch are read and written under the
// engine's lock while the transfer is in the engine.
//
// Time-outs: libcurl bounds the connection set-up (connect time-out, retried
// up to the connect-retries count). Once a connection stands, the wait for
// the response head is bounded by the receive time-out and each wait for
// body bytes by the data receive time-out. The send time-outs need no
// enforcement: a request is a header block the socket takes at once.
#pragma once

#include "platform/cache/CacheStore.h"
#include "platform/cache/CacheWriter.h"
#include "platform/inet/BodyWindow.h"
#include "platform/inet/CurlHandles.h"
#include "platform/inet/HandleOptions.h"
#include "platform/inet/LocalAddressGuard.h"
#include "platform/inet/RequestHeaders.h"
#include "platform/inet/RequestSetup.h"
#include "platform/inet/ResponseHead.h"
#include "platform/inet/SessionCore.h"
#include "platform/inet/TlsVerification.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace inet {

class HttpTransfer final : private TransferSink, private TransferWatcher {
  public:
    /// `handle` is the request handle the transfer belongs to, as the
    /// session's status callback is told of it. `body` (may be empty) is
    /// the request body.
    HttpTransfer(HINTERNET handle, std::shared_ptr<SessionCore> session, RequestSetup setup,
                 HandleOptions options, DWORD securityFlags, std::string headerBlock,
                 std::string body = {});
    ~HttpTransfer();
    HttpTransfer(const HttpTransfer&) = delete;
    HttpTransfer& operator=(const HttpTransfer&) = delete;

    /// Sends the request, follows redirects and waits for the head of the
    /// final response. Returns 0 or the last-error value.
    DWORD Start();

    /// Copies up to `size` body bytes into `out`. `*read` 0 means the body
    /// is complete. Returns 0 or the last-error value; a failure sticks.
    DWORD Read(char* out, DWORD size, DWORD* read);

    // The asynchronous form: nothing waits. `ready` is called on the
    // engine's own thread, with no lock held, whenever Advance or TryRead
    // may go further, and at least four times a second meanwhile. The
    // transfer may be destroyed from any thread, `ready` included
    // (Exchange.h says what its owner must then keep to).

    /// Sends the request without waiting for anything. Returns 0, or the
    /// last-error value when it could not even be sent.
    DWORD Begin(std::function<void()> ready);
    /// Goes on with a begun request: 0 once the final head is there,
    /// ERROR_IO_PENDING while it is not, else the last-error value.
    DWORD Advance();
    /// Read, except that ERROR_IO_PENDING says no byte has come yet.
    DWORD TryRead(char* out, DWORD size, DWORD* read);

    /// While held, reading the body to its end writes no cache entry and
    /// tells no one the request is complete; ending the hold does both then,
    /// when the end has been read. A transfer destroyed meanwhile keeps
    /// nothing.
    void HoldBodyEnd(bool hold);

    /// Answers the next redirect hop from the URL cache's entry for its
    /// URL, when it holds one with status 200, instead of asking the
    /// network (CachedHop.cpp). Meant for the status callback, as it hears
    /// of the redirect.
    void HopFromCache() { m_hopFromCache = true; }

    /// Holds (or lets go) the next redirect hop of a begun transfer: meant
    /// for the status callback, as it hears of the redirect. While held the
    /// transfer goes no further and Advance says ERROR_IO_PENDING; once let
    /// go, the next Advance sends the hop. False for a transfer that waits
    /// on its caller's thread (Start), which nothing could let go.
    bool HoldHop(bool hold);

    /// The final response's head; empty before Start succeeded.
    const ResponseHead& Head() const { return m_head; }

    /// The URL the request ended at, without fragment.
    std::u16string FinalUrl() const;

  private:
    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self);
    /// Before a request goes out on its connection: for https, the
    /// connection's certificate judged under the request's flags.
    static int OnConnected(void* self, char*, char*, int, int);
    void OnTransferDone(CURLcode result) override;
    void OnTransferReady() override;
    /// In a round: an asynchronous transfer's watcher is told after it.
    void SignalWatcher();

    /// Resets the chain and sends its first hop: ERROR_IO_PENDING, or the
    /// failure.
    DWORD Launch();
    DWORD SendHop();
    /// Once the hop's head or end is there: 0 for the final head, else the
    /// failure, or ERROR_IO_PENDING when a further hop went out.
    DWORD AfterHop();
    /// Sends the hop a redirect leads to, or answers it from the cache.
    DWORD FollowHop();
    DWORD ReadBody(char* out, DWORD size, DWORD* read, bool wait);
    /// The connection stood idle `limitMs` (0: no limit) since the later of
    /// its last bytes and the reader's last take.
    bool IdleTooLong(DWORD limitMs) const;

    void OnHeadComplete();
    /// Whether the final response is to be stored, as its head says.
    bool WantsCache() const;
    /// Makes the cache's entry for the hop's URL the final response; false
    /// (nothing changed) when the cache holds no usable one.
    bool AnswerHopFromCache();
    /// Body bytes of a hop answered from the cache, as TakeBody.
    DWORD TakeCachedBody(char* out, DWORD size, DWORD* read, bool* ended);
    DWORD BeginHop();
    /// The TLS error of a request the session already knows its host would
    /// refuse under the request's flags; 0 when it must ask the network.
    DWORD RefusalKnownBefore();
    void ConfigureHop(CURL* easy);
    void SetMethod(CURL* easy);
    void EndHop();
    /// Waits, under the engine's lock, until `ready` holds; 0, or
    /// ERROR_INTERNET_TIMEOUT when the connection stood idle `limitMs`.
    DWORD WaitLocked(MutexLock& lock, const std::function<bool()>& ready, DWORD limitMs)
        DRAVIK_REQUIRES(m_engine->Lock());
    /// Body bytes into `out`, waiting for them; `*ended` when the transfer
    /// is done and the window drained instead.
    /// Without `wait`, ERROR_IO_PENDING instead of waiting.
    DWORD TakeBody(char* out, DWORD size, DWORD* read, bool* ended, bool wait);
    /// What the read of the body's end does: the transfer's outcome.
    DWORD EndOfBody();
    bool UsesHttp2() const;
    DWORD AdvanceToRedirect();
    DWORD Fail(DWORD error);
    void CommitToCache();
    [[nodiscard]] bool Commit(const std::u16string& requestUrl);
    void NotifyText(DWORD status, const std::u16string& text) const;
    void NotifyComplete(DWORD error);
    /// True when the request keeps its response only as an HTTP cache would.
    bool AsHttpCache() const;

    HINTERNET m_handle;
    std::shared_ptr<SessionCore> m_session;
    RequestSetup m_setup;
    HandleOptions m_options;
    RequestHeaderSource m_headerSource;
    TlsCheck m_tls;
    LocalAddressGuard m_guard; // under INTERNET_FLAG_NO_LOCAL_ADDRESSES

    CurlSlist m_headerList; // before m_easy: the handle points at it until it goes
    CurlEasy m_easy;
    TransferEngine* m_engine = nullptr;
    bool m_inEngine = false; // m_easy is in the engine
    bool m_watched = false;  // begun asynchronously: the engine tells m_ready
    std::function<void()> m_ready;

    std::string m_hopUrl; // wire form of the current hop's URL
    std::string m_verb;   // the current hop's method (a redirect may turn it into GET)
    std::string m_body;   // the current hop's request body
    bool m_hopSecure = false;
    /// Some hop of the chain so far went over plain http or forgave a
    /// certificate problem: what it led to is not verified.
    bool m_chainUnverified = false;
    bool m_toOtherHost = false;
    int m_redirects = 0;
    DWORD m_attempts = 0; // connection attempts of the current hop

    ResponseHead m_head;
    BodyWindow m_window;
    bool m_hopFromCache = false; // HopFromCache() was asked for the coming hop
    bool m_hopHeld = false;      // HoldHop(true) is in force
    bool m_hopWaits = false;     // a redirect's hop waits for HoldHop(false)
    /// The entry a hop answered from the cache reads its body from, and how
    /// far; null for a hop from the network.
    std::shared_ptr<const urlcache::StoredCopy> m_cachedHop;
    std::uint64_t m_cachedOffset = 0;
    std::unique_ptr<urlcache::CacheWriter> m_cache;
    bool m_cacheWanted = false;     // the final response is to be stored
    UrlCacheFailure m_cacheFailure; // why it could not be, once it could not
    bool m_completeSent = false;    // INTERNET_STATUS_REQUEST_COMPLETE went out
    std::string m_location;         // the Location of a redirect being followed

    bool m_finalHead = false;
    bool m_redirecting = false;
    bool m_connected = false;
    bool m_done = false;
    bool m_paused = false;
    bool m_started = false;
    bool m_bodyEnded = false;
    bool m_holdEnd = false; // HoldBodyEnd(true) is in force
    bool m_endHeld = false; // the end was read while held
    CURLcode m_result = CURLE_OK;
    DWORD m_failure = 0;
    std::chrono::steady_clock::time_point m_lastActivity;
};

} // namespace inet
