// SPDX-License-Identifier: Apache-2.0
// Opening and closing sessions, connections and requests.
#include "platform/cache/UrlCacheStore.h"
#include "platform/inet/ApiResults.h"
#include "platform/inet/HandleTypes.h"
#include "platform/inet/WinInet.h"
#include "platform/inet/WireText.h"
#include "platform/kernel/FaultInjection.h"
#include "platform/kernel/LastError.h"

using namespace inet;

namespace {

std::string JoinAcceptTypes(const char16_t* const* acceptTypes) {
    std::string joined;
    for (; acceptTypes != nullptr && *acceptTypes != nullptr; ++acceptTypes) {
        if (!joined.empty()) {
            joined += ", ";
        }
        joined += ToWireBytes(*acceptTypes);
    }
    return joined;
}

/// An HTTP method name: 1 to 20 upper-case letters, digits, "-" or "_".
bool IsMethodToken(std::u16string_view verb) {
    if (verb.empty() || verb.size() > 20) {
        return false;
    }
    for (const char16_t c : verb) {
        if (!((c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' || c == u'_')) {
            return false;
        }
    }
    return true;
}

bool IsKnownAccessType(DWORD accessType) {
    return accessType == INTERNET_OPEN_TYPE_PRECONFIG || accessType == INTERNET_OPEN_TYPE_DIRECT ||
           accessType == INTERNET_OPEN_TYPE_PROXY ||
           accessType == INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY;
}

/// The bypass list as libcurl reads it: names separated by commas.
std::string BypassList(const char16_t* bypass) {
    std::string list = ToWireBytes(WideText(bypass));
    for (char& c : list) {
        if (c == ';' || c == ' ') {
            c = ',';
        }
    }
    return list;
}

} // namespace

HINTERNET InternetOpenW(const char16_t* agent, DWORD accessType, const char16_t* proxy,
                        const char16_t* proxyBypass, DWORD flags) {
    if (!IsKnownAccessType(accessType) || (flags & INTERNET_FLAG_ASYNC) != 0 ||
        (accessType == INTERNET_OPEN_TYPE_PROXY && (proxy == nullptr || *proxy == 0))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!EnsureCurlReady() || FaultInjected("InternetOpenW")) {
        SetLastError(ERROR_INTERNET_INTERNAL_ERROR);
        return nullptr;
    }
    ProxySettings settings{accessType, ToWireBytes(WideText(proxy)), BypassList(proxyBypass)};
    auto core = std::make_shared<SessionCore>(std::move(settings), ToWireBytes(WideText(agent)));
    if (!core->Valid()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return RegisterHandle(std::make_unique<SessionHandle>(std::move(core)));
}

HINTERNET InternetConnectW(HINTERNET session, const char16_t* server, INTERNET_PORT port,
                           const char16_t*, const char16_t*, DWORD service, DWORD, std::uintptr_t) {
    auto* owner = FindHandleAs<SessionHandle>(session, HandleKind::Session);
    if (owner == nullptr) {
        return nullptr;
    }
    if (service != INTERNET_SERVICE_HTTP) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (server == nullptr || *server == 0) {
        SetLastError(ERROR_INTERNET_INVALID_URL);
        return nullptr;
    }
    return RegisterHandle(
        std::make_unique<ConnectHandle>(owner->Core(), owner->Options(), server, port));
}

HINTERNET HttpOpenRequestW(HINTERNET connect, const char16_t* verb, const char16_t* objectName,
                           const char16_t* version, const char16_t* referrer,
                           const char16_t* const* acceptTypes, DWORD flags, std::uintptr_t) {
    auto* owner = FindHandleAs<ConnectHandle>(connect, HandleKind::Connect);
    if (owner == nullptr) {
        return nullptr;
    }
    const std::u16string verbText = verb == nullptr ? u"GET" : verb;
    const std::u16string versionText = version == nullptr ? u"HTTP/1.0" : version;
    if (!IsMethodToken(verbText) || verbText == u"CONNECT" ||
        (versionText != u"HTTP/1.0" && versionText != u"HTTP/1.1")) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    RequestSetup setup;
    setup.secure = (flags & INTERNET_FLAG_SECURE) != 0;
    setup.host = owner->Host();
    setup.port = owner->Port() != INTERNET_INVALID_PORT_NUMBER
                     ? owner->Port()
                     : (setup.secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
    setup.objectName = objectName == nullptr || *objectName == 0 ? u"/" : objectName;
    setup.verb = ToWireBytes(verbText);
    setup.head = verbText == u"HEAD";
    setup.http10 = versionText == u"HTTP/1.0";
    setup.flags = flags;
    setup.acceptTypes = JoinAcceptTypes(acceptTypes);
    setup.referrer = ToWireBytes(WideText(referrer));
    return RegisterHandle(
        std::make_unique<RequestHandle>(owner->Core(), owner->Options(), std::move(setup)));
}

BOOL InternetCloseHandle(HINTERNET handle) {
    const InternetHandle* found = FindHandle(handle);
    const bool session = found != nullptr && found->Kind() == HandleKind::Session;
    if (!ReleaseHandle(handle)) {
        return FailWith(ERROR_INVALID_HANDLE);
    }
    if (session) {
        // What the session's requests stored reaches every process now.
        urlcache::CommitBatchedEntries();
    }
    return TRUE;
}

INTERNET_STATUS_CALLBACK InternetSetStatusCallbackW(HINTERNET session,
                                                    INTERNET_STATUS_CALLBACK callback) {
    auto* owner = FindHandleAs<SessionHandle>(session, HandleKind::Session);
    if (owner == nullptr) {
        return INTERNET_INVALID_STATUS_CALLBACK;
    }
    return owner->Core()->SetCallback(callback);
}
