// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/HttpTransfer.h"

#include "platform/inet/HttpCacheRules.h"
#include "platform/inet/LocalAddressGuard.h"
#include "platform/inet/RedirectRules.h"
#include "platform/inet/TransferErrors.h"
#include "platform/inet/WinInet.h"
#include "platform/inet/WireText.h"
#include "platform/kernel/FaultInjection.h"
#include "platform/kernel/FileTime.h"
#include "platform/kernel/LastError.h"
#include "platform/text/Utf8.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace inet {

namespace {

using Clock = std::chrono::steady_clock;

// Body bytes held between the network and the caller: eight of libcurl's
// 16 KiB pieces, enough to keep the connection busy between reads.
constexpr std::size_t kWindowBytes = std::size_t{128} * 1024;

// Longest single wait; the loop wakes to check its deadline at least this
// often while libcurl times the connection set-up itself.
constexpr std::uint64_t kMaxPollMs = 1000;

long TimeoutArgument(DWORD ms) {
    return ms > 0x7FFFFFFF ? 0L : static_cast<long>(ms);
}

std::uint64_t DateTicks(std::optional<std::string_view> value) {
    if (!value) {
        return 0;
    }
    const std::string text(*value);
    const time_t seconds = curl_getdate(text.c_str(), nullptr);
    return seconds <= 0 ? 0 : FileTimeToTicks(FileTimeFromUnixSeconds(seconds));
}

std::string HostKey(std::string host) {
    if (host.size() > 1 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    for (char& c : host) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return host;
}

} // namespace

HttpTransfer::HttpTransfer(HINTERNET handle, std::shared_ptr<SessionCore> session,
                           RequestSetup setup, HandleOptions options, DWORD securityFlags,
                           std::string headerBlock, std::string body)
    : m_handle(handle), m_session(std::move(session)), m_setup(std::move(setup)),
      m_options(options), m_verb(m_setup.verb), m_body(std::move(body)), m_window(kWindowBytes) {
    m_headerSource.block = std::move(headerBlock);
    m_headerSource.acceptTypes = m_setup.acceptTypes;
    m_headerSource.referrer = m_setup.referrer;
    m_headerSource.agent = m_session->Agent();
    m_headerSource.http10 = m_setup.http10;
    m_headerSource.hasBody = !m_body.empty();
    m_tls.securityFlags = securityFlags;
}

HttpTransfer::~HttpTransfer() {
    if (m_watched) {
        m_engine->Unwatch(this);
    }
    EndHop();
}

DWORD HttpTransfer::Start() {
    DWORD state = Launch();
    while (state == ERROR_IO_PENDING) {
        DWORD error = 0;
        {
            MutexLock lock(m_engine->Lock());
            error = WaitLocked(
                lock, [this] { return m_finalHead || m_done; }, m_options.receiveTimeoutMs);
        }
        state = error != 0 ? Fail(error) : AfterHop();
    }
    return state;
}

DWORD HttpTransfer::Begin(std::function<void()> ready) {
    m_ready = std::move(ready);
    m_engine = &m_session->Engine();
    m_engine->Watch(this);
    m_watched = true;
    const DWORD state = Launch();
    return state == ERROR_IO_PENDING ? 0 : state;
}

DWORD HttpTransfer::Advance() {
    if (m_failure != 0 || m_started) {
        return m_failure;
    }
    if (m_hopWaits) {
        if (m_hopHeld) {
            return ERROR_IO_PENDING;
        }
        m_hopWaits = false;
        return FollowHop();
    }
    bool waiting = false;
    bool timedOut = false;
    {
        const MutexLock lock(m_engine->Lock());
        waiting = !m_finalHead && !m_done;
        timedOut = waiting && IdleTooLong(m_options.receiveTimeoutMs);
    }
    // Failing takes the transfer out of the engine, under its lock.
    if (timedOut) {
        return Fail(ERROR_INTERNET_TIMEOUT);
    }
    return waiting ? ERROR_IO_PENDING : AfterHop();
}

void HttpTransfer::OnTransferReady() {
    // A copy: the call may end the transfer and, with it, m_ready.
    const std::function<void()> ready = m_ready;
    ready();
}

DWORD HttpTransfer::Launch() {
    m_completeSent = false;
    NotifyText(INTERNET_STATUS_SENDING_REQUEST,
               RequestUrlText(m_setup.secure, m_setup.host, m_setup.port, m_setup.objectName));
    m_hopUrl = RequestWireUrl(m_setup.secure, m_setup.host, m_setup.port, m_setup.objectName);
    m_hopSecure = m_setup.secure;
    m_chainUnverified = false;
    m_toOtherHost = false;
    m_redirects = 0;
    m_attempts = 0;
    m_guard = {};
    return SendHop();
}

DWORD HttpTransfer::SendHop() {
    const DWORD error = BeginHop();
    return error != 0 ? Fail(error) : ERROR_IO_PENDING;
}

DWORD HttpTransfer::AfterHop() {
    bool finalHead = false;
    {
        const MutexLock lock(m_engine->Lock());
        finalHead = m_finalHead;
    }
    if (finalHead) {
        // The head no longer changes: the engine only adds body bytes.
        if (m_cacheWanted) {
            m_cache = urlcache::CacheWriter::Begin(m_cacheFailure);
        }
        m_started = true;
        return 0;
    }
    EndHop();
    if (m_result != CURLE_OK) {
        // A refused address of this machine is no reason to try again.
        const bool local = m_guard.Refused() && (!m_connected || IsConnectFailure(m_result) ||
                                                 m_result == CURLE_ABORTED_BY_CALLBACK);
        const DWORD maxAttempts = std::max<DWORD>(1, m_options.connectRetries);
        if (!local && IsConnectFailure(m_result) && !m_connected && ++m_attempts < maxAttempts) {
            return SendHop();
        }
        return Fail(local ? ERROR_ACCESS_DENIED : ErrorFromTransfer(m_result, m_tls));
    }
    if (!m_redirecting) {
        return Fail(ERROR_HTTP_INVALID_SERVER_RESPONSE);
    }
    if (const DWORD redirectError = AdvanceToRedirect()) {
        return Fail(redirectError);
    }
    if (m_hopHeld) {
        m_hopWaits = true;
        return ERROR_IO_PENDING;
    }
    return FollowHop();
}

DWORD HttpTransfer::FollowHop() {
    if (std::exchange(m_hopFromCache, false) && AnswerHopFromCache()) {
        return 0;
    }
    m_attempts = 0;
    return SendHop();
}

bool HttpTransfer::HoldHop(bool hold) {
    if (!m_watched) {
        return false;
    }
    m_hopHeld = hold;
    return true;
}

DWORD HttpTransfer::Read(char* out, DWORD size, DWORD* read) {
    return ReadBody(out, size, read, true);
}

DWORD HttpTransfer::TryRead(char* out, DWORD size, DWORD* read) {
    return ReadBody(out, size, read, false);
}

DWORD HttpTransfer::ReadBody(char* out, DWORD size, DWORD* read, bool wait) {
    *read = 0;
    if (m_failure != 0) {
        return m_failure;
    }
    if (!m_started) {
        return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
    }
    if (m_bodyEnded) {
        return 0;
    }
    bool ended = false;
    if (const DWORD error = TakeBody(out, size, read, &ended, wait)) {
        return error == ERROR_IO_PENDING ? error : Fail(error);
    }
    if (ended) {
        return EndOfBody();
    }
    if (m_cache && !m_cache->Append(out, *read)) {
        m_cacheFailure = m_cache->Failure();
        m_cache.reset();
    }
    DWORD received = *read;
    m_session->Notify(m_handle, INTERNET_STATUS_RESPONSE_RECEIVED, &received, sizeof received);
    return 0;
}

DWORD HttpTransfer::TakeBody(char* out, DWORD size, DWORD* read, bool* ended, bool wait) {
    if (m_cachedHop) {
        return TakeCachedBody(out, size, read, ended);
    }
    MutexLock lock(m_engine->Lock());
    while (m_window.Empty() && !m_done) {
        if (m_paused) {
            // The window is drained: let libcurl hand over what it held back.
            m_paused = false;
            m_engine->Resume(m_easy.get());
            m_lastActivity = Clock::now();
        }
        if (!wait) {
            return IdleTooLong(m_options.dataReceiveTimeoutMs) ? ERROR_INTERNET_TIMEOUT
                                                               : ERROR_IO_PENDING;
        }
        const DWORD error = WaitLocked(
            lock, [this] { return !m_window.Empty() || m_done || m_paused; },
            m_options.dataReceiveTimeoutMs);
        if (error != 0) {
            return error;
        }
    }
    *ended = m_window.Empty();
    *read = static_cast<DWORD>(m_window.Take(out, size));
    // The idle time counts from when the reader last found bytes, however
    // long they had waited for it.
    m_lastActivity = Clock::now();
    return 0;
}

DWORD HttpTransfer::EndOfBody() {
    EndHop();
    if (m_result != CURLE_OK) {
        return Fail(ErrorFromTransfer(m_result, m_tls));
    }
    m_bodyEnded = true;
    if (m_holdEnd) {
        m_endHeld = true;
        return 0;
    }
    CommitToCache();
    NotifyComplete(0);
    return 0;
}

std::u16string HttpTransfer::FinalUrl() const {
    if (m_redirects == 0) {
        return RequestUrlText(m_setup.secure, m_setup.host, m_setup.port, m_setup.objectName);
    }
    return FromWireBytes(WithoutFragment(std::string_view(m_hopUrl)));
}

std::size_t HttpTransfer::OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
    auto* transfer = static_cast<HttpTransfer*>(self);
    const std::size_t bytes = size * count;
    transfer->m_lastActivity = Clock::now();
    if (transfer->m_finalHead || transfer->m_redirecting) {
        return bytes; // trailers
    }
    if (transfer->m_head.AddLine(std::string_view(data, bytes)) && !transfer->m_head.IsInterim()) {
        transfer->OnHeadComplete();
        transfer->SignalWatcher();
    }
    return bytes;
}

std::size_t HttpTransfer::OnBody(char* data, std::size_t size, std::size_t count, void* self) {
    auto* transfer = static_cast<HttpTransfer*>(self);
    const std::size_t bytes = size * count;
    transfer->m_lastActivity = Clock::now();
    if (!transfer->m_finalHead) {
        return bytes; // the body of a redirect is not wanted
    }
    transfer->SignalWatcher();
    if (!transfer->m_window.Put(data, bytes)) {
        transfer->m_paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    return bytes;
}

int HttpTransfer::OnConnected(void* self, char* primaryIp, char*, int, int) {
    auto* transfer = static_cast<HttpTransfer*>(self);
    transfer->m_connected = true;
    transfer->m_lastActivity = Clock::now();
    if ((transfer->m_setup.flags & INTERNET_FLAG_NO_LOCAL_ADDRESSES) != 0 &&
        !transfer->m_guard.Admit(primaryIp)) {
        return CURL_PREREQFUNC_ABORT;
    }
    if (!transfer->m_hopSecure) {
        return CURL_PREREQFUNC_OK;
    }
    const bool accepted = JudgeConnection(transfer->m_easy.get(), transfer->m_tls);
    if (transfer->m_tls.judged) {
        transfer->m_session->Verdicts().Remember(TlsHostKey(transfer->m_hopUrl),
                                                 transfer->m_tls.problems);
    }
    return accepted ? CURL_PREREQFUNC_OK : CURL_PREREQFUNC_ABORT;
}

DWORD HttpTransfer::RefusalKnownBefore() {
    if (!m_hopSecure || FaultInjected("KnownTlsVerdicts")) {
        return 0;
    }
    const std::optional<std::vector<int>> known = m_session->Verdicts().Known(TlsHostKey(m_hopUrl));
    if (!known) {
        return 0;
    }
    // Refused as the connections to the host would refuse it, without
    // asking them: the resend with relaxed flags then reuses one of them.
    m_tls.problems = *known;
    m_tls.refusedError = FirstUnforgiven(*known, m_tls.securityFlags);
    return m_tls.refusedError == 0 ? 0 : TlsFailureError(CURLE_ABORTED_BY_CALLBACK, m_tls);
}

void HttpTransfer::OnTransferDone(CURLcode result) {
    m_done = true;
    m_result = result;
    SignalWatcher();
}

void HttpTransfer::SignalWatcher() {
    if (m_watched) {
        m_engine->Signal(this);
    }
}

void HttpTransfer::OnHeadComplete() {
    if (IsFollowedRedirect(m_head.Status()) &&
        (m_setup.flags & INTERNET_FLAG_NO_AUTO_REDIRECT) == 0) {
        const std::optional<std::string_view> location = m_head.Header("Location");
        if (location && !location->empty()) {
            m_redirecting = true;
            m_location = *location;
            return;
        }
    }
    m_finalHead = true;
    m_cacheWanted = WantsCache(); // the writer is made on the caller's thread
}

bool HttpTransfer::WantsCache() const {
    const bool shared = (m_setup.flags & INTERNET_FLAG_HTTP_CACHE_SHARED) != 0;
    const bool forOthers = shared && (m_setup.flags & INTERNET_FLAG_HTTP_CACHE_FOR_OTHERS) != 0;
    return m_setup.verb == "GET" && m_head.Status() == 200 &&
           (m_setup.flags & INTERNET_FLAG_NO_CACHE_WRITE) == 0 &&
           (!AsHttpCache() ||
            (MayStoreResponse(m_head, m_headerSource.block, shared) &&
             !(forOthers && OnlyForThisMachine(m_head, m_headerSource.block, shared))));
}

DWORD HttpTransfer::BeginHop() {
    EndHop();
    m_cachedHop.reset();
    m_head.Reset();
    m_window.Clear();
    m_cache.reset();
    m_cacheWanted = false;
    m_cacheFailure = {};
    m_location.clear();
    m_finalHead = m_redirecting = m_connected = m_done = m_paused = m_bodyEnded = m_started = false;
    m_result = CURLE_OK;
    m_failure = 0;
    m_lastActivity = Clock::now();
    if (const DWORD refused = RefusalKnownBefore()) {
        return refused;
    }
    m_chainUnverified = m_chainUnverified || !m_hopSecure || TlsLeniency(m_tls.securityFlags) != 0;
    m_easy.reset(curl_easy_init());
    if (!m_easy) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    // Keep-Alive is an HTTP/1 field: HTTP/2 connections stay open anyway.
    m_headerSource.http10 = m_setup.http10 && !UsesHttp2();
    m_headerList = BuildHeaderList(m_headerSource, m_toOtherHost);
    ConfigureHop(m_easy.get());
    if ((m_setup.flags & INTERNET_FLAG_NO_LOCAL_ADDRESSES) != 0 &&
        !m_guard.Prepare(m_easy.get(), m_session->Proxy(), Utf16ToUtf8(m_setup.host),
                         m_hopSecure)) {
        return ERROR_ACCESS_DENIED;
    }
    m_engine = &m_session->Engine();
    m_engine->Add(m_easy.get());
    m_inEngine = true;
    return 0;
}

void HttpTransfer::ConfigureHop(CURL* easy) {
    curl_easy_setopt(easy, CURLOPT_URL, m_hopUrl.c_str());
    curl_easy_setopt(easy, CURLOPT_PRIVATE, static_cast<void*>(static_cast<TransferSink*>(this)));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    if (UsesHttp2()) {
        // Offered in the TLS handshake; a request that finds a connection
        // to its host being set up waits to share it as a stream.
        curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_2TLS);
        curl_easy_setopt(easy, CURLOPT_PIPEWAIT, 1L);
    } else {
        curl_easy_setopt(easy, CURLOPT_HTTP_VERSION,
                         m_setup.http10 ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
    }
    // The object name goes out as the caller wrote it, dot segments included.
    curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
    SetMethod(easy);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, OnConnected);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, this);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, m_headerList.get());
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, TimeoutArgument(m_options.connectTimeoutMs));
    const ProxySettings& proxy = m_session->Proxy();
    if (proxy.accessType == INTERNET_OPEN_TYPE_DIRECT) {
        curl_easy_setopt(easy, CURLOPT_PROXY, "");
    } else if (proxy.accessType == INTERNET_OPEN_TYPE_PROXY) {
        curl_easy_setopt(easy, CURLOPT_PROXY, proxy.proxy.c_str());
        curl_easy_setopt(easy, CURLOPT_NOPROXY, proxy.bypass.c_str());
    }
    if ((m_setup.flags & INTERNET_FLAG_NO_COOKIES) == 0) {
        curl_easy_setopt(easy, CURLOPT_SHARE, m_session->CookieStore());
        curl_easy_setopt(easy, CURLOPT_COOKIEFILE, ""); // switches the cookie engine on
    } else {
        curl_easy_setopt(easy, CURLOPT_SHARE, m_session->TlsSessions());
    }
    ApplyTlsPolicy(easy, &m_tls);
}

void HttpTransfer::SetMethod(CURL* easy) {
    if (m_verb == "HEAD") {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
        return;
    }
    const bool sendsBody =
        !m_body.empty() || m_verb == "POST" || m_verb == "PUT" || m_verb == "PATCH";
    if (sendsBody) {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(m_body.size()));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, m_body.data());
    } else {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    }
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, m_verb == "GET" ? nullptr : m_verb.c_str());
}

void HttpTransfer::EndHop() {
    if (m_inEngine) {
        m_engine->Remove(m_easy.get());
    }
    m_inEngine = false;
}

bool HttpTransfer::UsesHttp2() const {
    return m_hopSecure && m_session->OffersHttp2();
}

DWORD HttpTransfer::WaitLocked(MutexLock& lock, const std::function<bool()>& ready, DWORD limitMs) {
    m_lastActivity = Clock::now();
    bool poll = false; // the first round sends what was just queued
    while (!ready()) {
        Clock::time_point until = Clock::now() + std::chrono::milliseconds(kMaxPollMs);
        if (m_connected && limitMs != 0) {
            if (IdleTooLong(limitMs)) {
                return ERROR_INTERNET_TIMEOUT;
            }
            until = std::min(until, m_lastActivity + std::chrono::milliseconds(limitMs));
        }
        m_engine->Step(lock, until, poll);
        poll = true;
    }
    return 0;
}

bool HttpTransfer::IdleTooLong(DWORD limitMs) const {
    return m_connected && limitMs != 0 &&
           Clock::now() >= m_lastActivity + std::chrono::milliseconds(limitMs);
}

DWORD HttpTransfer::AdvanceToRedirect() {
    if (++m_redirects > kMaxRedirects) {
        return ERROR_HTTP_REDIRECT_FAILED;
    }
    DWORD error = 0;
    const std::optional<HopTarget> target = ResolveRedirect(m_hopUrl, m_location, error);
    if (!target) {
        return error;
    }
    if (const DWORD error = CheckSchemeChange(m_hopSecure, target->secure, m_tls.securityFlags)) {
        return error;
    }
    m_toOtherHost = m_toOtherHost || HostKey(target->host) != HostKey(ToWireBytes(m_setup.host)) ||
                    target->port != m_setup.port;
    const DWORD status = m_head.Status();
    if (status == 303 || ((status == 301 || status == 302) && m_verb == "POST")) {
        // The target is to be fetched, not sent the form again.
        if (m_verb != "HEAD") {
            m_verb = "GET";
        }
        m_body.clear();
        m_headerSource.hasBody = false;
    }
    m_hopUrl = target->url;
    m_hopSecure = target->secure;
    NotifyText(INTERNET_STATUS_REDIRECT, FromWireBytes(m_hopUrl));
    return 0;
}

DWORD HttpTransfer::Fail(DWORD error) {
    EndHop();
    m_cache.reset();
    m_started = false;
    m_failure = error;
    NotifyComplete(error);
    return error;
}

void HttpTransfer::NotifyText(DWORD status, const std::u16string& text) const {
    m_session->Notify(m_handle, status, const_cast<char16_t*>(text.c_str()),
                      static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
}

bool HttpTransfer::AsHttpCache() const {
    return (m_setup.flags & (INTERNET_FLAG_HTTP_CACHE_PRIVATE | INTERNET_FLAG_HTTP_CACHE_SHARED)) !=
           0;
}

void HttpTransfer::HoldBodyEnd(bool hold) {
    m_holdEnd = hold;
    if (!hold && m_endHeld) {
        m_endHeld = false;
        CommitToCache();
        NotifyComplete(0);
    }
}

void HttpTransfer::NotifyComplete(DWORD error) {
    if (m_completeSent) {
        return;
    }
    m_completeSent = true;
    INTERNET_ASYNC_RESULT result{error == 0 ? 1u : 0u, error};
    m_session->Notify(m_handle, INTERNET_STATUS_REQUEST_COMPLETE, &result, sizeof result);
}

void HttpTransfer::CommitToCache() {
    if (!m_cacheWanted) {
        return;
    }
    const std::u16string url =
        RequestUrlText(m_setup.secure, m_setup.host, m_setup.port, m_setup.objectName);
    if (m_cache && Commit(url)) {
        return;
    }
    // The response was read whole but is not kept: the caller's read still
    // succeeds, and whoever listens hears why.
    m_cacheFailure.url = url;
    urlcache::RememberFailure(m_cacheFailure);
    m_session->Notify(m_handle, INTERNET_STATUS_CACHE_WRITE_FAILED, &m_cacheFailure,
                      sizeof m_cacheFailure);
}

bool HttpTransfer::Commit(const std::u16string& requestUrl) {
    urlcache::ResponseFacts facts;
    facts.urls.push_back(requestUrl);
    const std::u16string finalUrl = FinalUrl();
    if (finalUrl != facts.urls.front()) {
        facts.urls.push_back(finalUrl);
    }
    StoredHeadMarks marks;
    marks.dropCookies = AsHttpCache();
    // Kept at an https address, it is verified only when every hop of its
    // chain was https with nothing forgiven.
    const bool httpsKept = m_setup.secure || finalUrl.starts_with(u"https:");
    marks.unverified = httpsKept && m_chainUnverified;
    marks.thisMachineOnly =
        AsHttpCache() && OnlyForThisMachine(m_head, m_headerSource.block,
                                            (m_setup.flags & INTERNET_FLAG_HTTP_CACHE_SHARED) != 0);
    facts.headers = FromWireBytes(StoredHeadText(m_head.Raw(), marks));
    facts.lastModified = DateTicks(m_head.Header("Last-Modified"));
    facts.expires = DateTicks(m_head.Header("Expires"));
    facts.extension = urlcache::ExtensionFromUrl(finalUrl);
    // A small body may wait for the next commit of the index: should that
    // fail, the listener hears it then, as from this request.
    m_cache->ReportLateFailure(
        [session = m_session, handle = m_handle](const UrlCacheFailure& late) {
            UrlCacheFailure failure = late;
            session->Notify(handle, INTERNET_STATUS_CACHE_WRITE_FAILED, &failure, sizeof failure);
        });
    const bool stored = m_cache->Commit(facts);
    if (!stored) {
        m_cacheFailure = m_cache->Failure();
    }
    m_cache.reset();
    return stored;
}

} // namespace inet
