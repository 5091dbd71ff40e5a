// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/HttpTransfer.h"

#include "platform/inet/HttpCacheRules.h"
#include "platform/inet/RedirectRules.h"
#include "platform/inet/TransferErrors.h"
#include "platform/inet/WinInet.h"
#include "platform/inet/WireText.h"
#include "platform/kernel/FileTime.h"
#include "platform/kernel/LastError.h"

#include <algorithm>
#include <cctype>

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
    : handle_(handle), session_(std::move(session)), setup_(std::move(setup)), options_(options),
      verb_(setup_.verb), body_(std::move(body)), window_(kWindowBytes) {
    headerSource_.block = std::move(headerBlock);
    headerSource_.acceptTypes = setup_.acceptTypes;
    headerSource_.referrer = setup_.referrer;
    headerSource_.agent = session_->Agent();
    headerSource_.http10 = setup_.http10;
    headerSource_.hasBody = !body_.empty();
    tls_.securityFlags = securityFlags;
}

HttpTransfer::~HttpTransfer() {
    EndHop();
}

DWORD HttpTransfer::Start() {
    completeSent_ = false;
    NotifyText(INTERNET_STATUS_SENDING_REQUEST,
               RequestUrlText(setup_.secure, setup_.host, setup_.port, setup_.objectName));
    hopUrl_ = RequestWireUrl(setup_.secure, setup_.host, setup_.port, setup_.objectName);
    hopSecure_ = setup_.secure;
    toOtherHost_ = false;
    redirects_ = 0;
    const DWORD maxAttempts = std::max<DWORD>(1, options_.connectRetries);
    DWORD attempts = 0;
    for (;;) {
        if (const DWORD error = BeginHop()) {
            return Fail(error);
        }
        const DWORD error =
            WaitUntil([this] { return finalHead_ || done_; }, options_.receiveTimeoutMs);
        if (error != 0) {
            return Fail(error);
        }
        if (finalHead_) {
            started_ = true;
            return 0;
        }
        EndHop();
        if (result_ != CURLE_OK) {
            if (IsConnectFailure(result_) && !connected_ && ++attempts < maxAttempts) {
                continue;
            }
            return Fail(ErrorFromTransfer(result_, tls_));
        }
        if (!redirecting_) {
            return Fail(ERROR_HTTP_INVALID_SERVER_RESPONSE);
        }
        if (const DWORD redirectError = AdvanceToRedirect()) {
            return Fail(redirectError);
        }
        attempts = 0;
    }
}

DWORD HttpTransfer::Read(char* out, DWORD size, DWORD* read) {
    *read = 0;
    if (failure_ != 0) {
        return failure_;
    }
    if (!started_) {
        return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
    }
    while (window_.Empty()) {
        if (bodyEnded_) {
            return 0;
        }
        if (done_) {
            EndHop();
            if (result_ != CURLE_OK) {
                return Fail(ErrorFromTransfer(result_, tls_));
            }
            bodyEnded_ = true;
            CommitToCache();
            NotifyComplete(0);
            return 0;
        }
        if (paused_) {
            // The window is drained: let libcurl hand over what it held back.
            paused_ = false;
            curl_easy_pause(easy_.get(), CURLPAUSE_CONT);
            continue;
        }
        const DWORD error = WaitUntil([this] { return !window_.Empty() || done_ || paused_; },
                                      options_.dataReceiveTimeoutMs);
        if (error != 0) {
            return Fail(error);
        }
    }
    *read = static_cast<DWORD>(window_.Take(out, size));
    DWORD received = *read;
    session_->Notify(handle_, INTERNET_STATUS_RESPONSE_RECEIVED, &received, sizeof received);
    return 0;
}

std::u16string HttpTransfer::FinalUrl() const {
    if (redirects_ == 0) {
        return RequestUrlText(setup_.secure, setup_.host, setup_.port, setup_.objectName);
    }
    return FromWireBytes(WithoutFragment(std::string_view(hopUrl_)));
}

std::size_t HttpTransfer::OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
    auto* transfer = static_cast<HttpTransfer*>(self);
    const std::size_t bytes = size * count;
    transfer->lastActivity_ = Clock::now();
    if (transfer->finalHead_ || transfer->redirecting_) {
        return bytes; // trailers
    }
    if (transfer->head_.AddLine(std::string_view(data, bytes)) && !transfer->head_.IsInterim()) {
        transfer->OnHeadComplete();
    }
    return bytes;
}

std::size_t HttpTransfer::OnBody(char* data, std::size_t size, std::size_t count, void* self) {
    auto* transfer = static_cast<HttpTransfer*>(self);
    const std::size_t bytes = size * count;
    transfer->lastActivity_ = Clock::now();
    if (!transfer->finalHead_) {
        return bytes; // the body of a redirect is not wanted
    }
    if (!transfer->window_.Put(data, bytes)) {
        transfer->paused_ = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    if (transfer->cache_ && !transfer->cache_->Append(data, bytes)) {
        transfer->cacheFailure_ = transfer->cache_->Failure();
        transfer->cache_.reset();
    }
    return bytes;
}

int HttpTransfer::OnConnected(void* self, char*, char*, int, int) {
    auto* transfer = static_cast<HttpTransfer*>(self);
    transfer->connected_ = true;
    transfer->lastActivity_ = Clock::now();
    return CURL_PREREQFUNC_OK;
}

void HttpTransfer::OnTransferDone(CURLcode result) {
    done_ = true;
    result_ = result;
}

void HttpTransfer::OnHeadComplete() {
    if (IsFollowedRedirect(head_.Status()) &&
        (setup_.flags & INTERNET_FLAG_NO_AUTO_REDIRECT) == 0) {
        const std::optional<std::string_view> location = head_.Header("Location");
        if (location && !location->empty()) {
            redirecting_ = true;
            location_ = *location;
            return;
        }
    }
    finalHead_ = true;
    const bool cacheable =
        setup_.verb == "GET" && head_.Status() == 200 &&
        (setup_.flags & INTERNET_FLAG_NO_CACHE_WRITE) == 0 &&
        (!AsHttpCache() || MayStoreResponse(head_, headerSource_.block,
                                            (setup_.flags & INTERNET_FLAG_HTTP_CACHE_SHARED) != 0));
    if (cacheable) {
        cacheWanted_ = true;
        cache_ = urlcache::CacheWriter::Begin(cacheFailure_);
    }
}

DWORD HttpTransfer::BeginHop() {
    EndHop();
    head_.Reset();
    window_.Clear();
    cache_.reset();
    cacheWanted_ = false;
    cacheFailure_ = {};
    location_.clear();
    finalHead_ = redirecting_ = connected_ = done_ = paused_ = bodyEnded_ = started_ = false;
    result_ = CURLE_OK;
    failure_ = 0;
    easy_.reset(curl_easy_init());
    if (!easy_) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    headerList_ = BuildHeaderList(headerSource_, toOtherHost_);
    ConfigureHop(easy_.get());
    pool_ = session_->PoolFor(TlsLeniency(tls_.securityFlags));
    if (pool_ == nullptr || !pool_->Add(easy_.get())) {
        pool_ = nullptr;
        return ERROR_INTERNET_INTERNAL_ERROR;
    }
    return 0;
}

void HttpTransfer::ConfigureHop(CURL* easy) {
    curl_easy_setopt(easy, CURLOPT_URL, hopUrl_.c_str());
    curl_easy_setopt(easy, CURLOPT_PRIVATE, static_cast<void*>(static_cast<TransferSink*>(this)));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION,
                     setup_.http10 ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
    // The object name goes out as the caller wrote it, dot segments included.
    curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
    SetMethod(easy);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, OnConnected);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, this);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList_.get());
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, TimeoutArgument(options_.connectTimeoutMs));
    const ProxySettings& proxy = session_->Proxy();
    if (proxy.accessType == INTERNET_OPEN_TYPE_DIRECT) {
        curl_easy_setopt(easy, CURLOPT_PROXY, "");
    } else if (proxy.accessType == INTERNET_OPEN_TYPE_PROXY) {
        curl_easy_setopt(easy, CURLOPT_PROXY, proxy.proxy.c_str());
        curl_easy_setopt(easy, CURLOPT_NOPROXY, proxy.bypass.c_str());
    }
    if ((setup_.flags & INTERNET_FLAG_NO_COOKIES) == 0) {
        curl_easy_setopt(easy, CURLOPT_SHARE, session_->CookieStore());
        curl_easy_setopt(easy, CURLOPT_COOKIEFILE, ""); // switches the cookie engine on
    }
    ApplyTlsPolicy(easy, &tls_);
}

void HttpTransfer::SetMethod(CURL* easy) {
    if (verb_ == "HEAD") {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
        return;
    }
    const bool sendsBody = !body_.empty() || verb_ == "POST" || verb_ == "PUT" || verb_ == "PATCH";
    if (sendsBody) {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body_.size()));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body_.data());
    } else {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    }
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, verb_ == "GET" ? nullptr : verb_.c_str());
}

void HttpTransfer::EndHop() {
    if (pool_ != nullptr && easy_) {
        pool_->Remove(easy_.get());
    }
    pool_ = nullptr;
}

DWORD HttpTransfer::WaitUntil(const std::function<bool()>& ready, DWORD limitMs) {
    lastActivity_ = Clock::now();
    while (!ready()) {
        pool_->Perform();
        if (ready()) {
            break;
        }
        std::uint64_t waitMs = kMaxPollMs;
        if (connected_ && limitMs != 0) {
            const auto idle = static_cast<std::uint64_t>(
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastActivity_)
                    .count());
            if (idle >= limitMs) {
                return ERROR_INTERNET_TIMEOUT;
            }
            waitMs = std::min<std::uint64_t>(waitMs, limitMs - idle);
        }
        pool_->Wait(static_cast<int>(waitMs));
    }
    return 0;
}

DWORD HttpTransfer::AdvanceToRedirect() {
    if (++redirects_ > kMaxRedirects) {
        return ERROR_HTTP_REDIRECT_FAILED;
    }
    DWORD error = 0;
    const std::optional<HopTarget> target = ResolveRedirect(hopUrl_, location_, error);
    if (!target) {
        return error;
    }
    if (const DWORD error = CheckSchemeChange(hopSecure_, target->secure, tls_.securityFlags)) {
        return error;
    }
    toOtherHost_ = toOtherHost_ || HostKey(target->host) != HostKey(ToWireBytes(setup_.host)) ||
                   target->port != setup_.port;
    const DWORD status = head_.Status();
    if (status == 303 || ((status == 301 || status == 302) && verb_ == "POST")) {
        // The target is to be fetched, not sent the form again.
        if (verb_ != "HEAD") {
            verb_ = "GET";
        }
        body_.clear();
        headerSource_.hasBody = false;
    }
    hopUrl_ = target->url;
    hopSecure_ = target->secure;
    NotifyText(INTERNET_STATUS_REDIRECT, FromWireBytes(hopUrl_));
    return 0;
}

DWORD HttpTransfer::Fail(DWORD error) {
    EndHop();
    cache_.reset();
    started_ = false;
    failure_ = error;
    NotifyComplete(error);
    return error;
}

void HttpTransfer::NotifyText(DWORD status, const std::u16string& text) const {
    session_->Notify(handle_, status, const_cast<char16_t*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
}

bool HttpTransfer::AsHttpCache() const {
    return (setup_.flags & (INTERNET_FLAG_HTTP_CACHE_PRIVATE | INTERNET_FLAG_HTTP_CACHE_SHARED)) !=
           0;
}

void HttpTransfer::NotifyComplete(DWORD error) {
    if (completeSent_) {
        return;
    }
    completeSent_ = true;
    INTERNET_ASYNC_RESULT result{error == 0 ? 1u : 0u, error};
    session_->Notify(handle_, INTERNET_STATUS_REQUEST_COMPLETE, &result, sizeof result);
}

void HttpTransfer::CommitToCache() {
    if (!cacheWanted_) {
        return;
    }
    const std::u16string url =
        RequestUrlText(setup_.secure, setup_.host, setup_.port, setup_.objectName);
    if (cache_ && Commit(url)) {
        return;
    }
    // The response was read whole but is not kept: the caller's read still
    // succeeds, and whoever listens hears why.
    cacheFailure_.url = url;
    urlcache::RememberFailure(cacheFailure_);
    session_->Notify(handle_, INTERNET_STATUS_CACHE_WRITE_FAILED, &cacheFailure_,
                     sizeof cacheFailure_);
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
    marks.unverified = hopSecure_ && TlsLeniency(tls_.securityFlags) != 0;
    marks.thisMachineOnly =
        AsHttpCache() && OnlyForThisMachine(head_, headerSource_.block,
                                            (setup_.flags & INTERNET_FLAG_HTTP_CACHE_SHARED) != 0);
    facts.headers = FromWireBytes(StoredHeadText(head_.Raw(), marks));
    facts.lastModified = DateTicks(head_.Header("Last-Modified"));
    facts.expires = DateTicks(head_.Header("Expires"));
    facts.extension = urlcache::ExtensionFromUrl(finalUrl);
    // A small body may wait for the next commit of the index: should that
    // fail, the listener hears it then, as from this request.
    cache_->ReportLateFailure([session = session_, handle = handle_](const UrlCacheFailure& late) {
        UrlCacheFailure failure = late;
        session->Notify(handle, INTERNET_STATUS_CACHE_WRITE_FAILED, &failure, sizeof failure);
    });
    const bool stored = cache_->Commit(facts);
    if (!stored) {
        cacheFailure_ = cache_->Failure();
    }
    cache_.reset();
    return stored;
}

} // namespace inet
