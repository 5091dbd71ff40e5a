// SPDX-License-Identifier: Apache-2.0
// The fetch policy: which URLs a crawl may fetch, with which flags and headers.
//
// On the start host (the application engine) only URLs whose query names an
// allowed engine command (and, for "InvokeMethod", an allowed method) are
// fetched; their responses stay out of the cache and the configured
// credentials go with them. On any other host anchors and frames need the
// user's consent to follow outside links, embedded resources are fetched
// unless this synchronization already downloaded them, responses go to the
// cache, and the configured "Cookie" and "Authorization" are withheld.
#include "crawler/AllowedLists.h"
#include "crawler/CrawlRequest.h"
#include "crawler/CrawlScheduler.h"
#include "crawler/Subscription.h"
#include "foundation/TextUnits.h"
#include "net/HeaderBlock.h"
#include "net/HttpRequest.h"
#include "net/Url.h"
#include "platform/kernel/FileTime.h"
#include "platform/kernel/LastError.h"

#include <vector>

namespace {

/// The text after the first `key` at or after `from` in `path`, up to the
/// next "&" or the end, undecoded. FALSE when the key is absent or the
/// value empty.
BOOL QueryValue(const CVELString& path, std::int32_t from, const char16_t* key, CVELString& value) {
    const std::int32_t at = path.Find(key, from);
    if (at < 0) {
        return FALSE;
    }
    const std::int32_t start = at + vel::TextLength(key);
    std::int32_t end = path.Find(u'&', start);
    if (end < 0) {
        end = path.GetLength();
    }
    value.Assign(path.GetData() + start, end - start);
    return value.GetLength() > 0;
}

BOOL Allowed(const CVELStringList& list, const CVELString& item) {
    std::int32_t index = 0;
    return list.BinarySearch(item.GetData(), index);
}

/// TRUE when the cache holds an entry for `url` that was downloaded at or
/// after `since`. Releases one lock of the entry when it holds any.
BOOL DownloadedSince(const char16_t* url, const FILETIME& since, BOOL follow) {
    DWORD size = 0;
    if (GetUrlCacheEntryInfoExW(url, nullptr, &size, nullptr, nullptr, nullptr, 0) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return FALSE;
    }
    size = (size + 3) & ~DWORD{3};
    std::vector<std::uint64_t> storage(size / sizeof(std::uint64_t) + 1);
    auto* entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(storage.data());
    if (!GetUrlCacheEntryInfoExW(url, entry, &size, nullptr, nullptr, nullptr, 0)) {
        return FALSE;
    }
    if (entry->dwUseCount != 0) {
        UnlockUrlCacheEntryFileW(entry->lpszSourceUrlName, 0);
    }
    return !follow && CompareFileTime(&since, &entry->LastSyncTime) <= 0;
}

} // namespace

BOOL DownloadedThisRun(const char16_t* url, const FILETIME& since) {
    return DownloadedSince(url, since, FALSE);
}

BOOL CSubscription::IsStartHost(const char16_t* host, INTERNET_PORT port, BOOL secure) const {
    CVELString key(host);
    AppendPort(key, port, secure);
    return key.GetLength() == m_startHost.GetLength() &&
           key.CompareNoCase(m_startHost.GetData()) == 0;
}

BOOL CSubscription::TNeedToRetrieveURL(const char16_t* url, CHttpRequest& request, BOOL follow) {
    PrepareCrawlRequest(request, m_requestHeaders.GetData());
    if (IsStartHost(request.m_host.GetData(), request.m_nPort, request.m_bSecure)) {
        return StartHostRule(request);
    }
    return OtherHostRule(url, request, follow);
}

BOOL CSubscription::Refuse(CCrawlReport::Refusal rule, const CVELString* what) {
    m_lastRefusal = rule;
    if (what != nullptr) {
        m_lastRefused.Assign(*what);
    } else {
        m_lastRefused.Empty();
    }
    return FALSE;
}

BOOL CSubscription::StartHostRule(CHttpRequest& request) {
    using Refusal = CCrawlReport::Refusal;
    request.m_dwFlags |= INTERNET_FLAG_NO_CACHE_WRITE;
    const std::int32_t query = request.m_path.Find(u'?');
    if (query < 0) {
        return Refuse(Refusal::kNoQuery);
    }
    CVELString command;
    if (!QueryValue(request.m_path, query + 1, u"ORXCmd=", command)) {
        return Refuse(Refusal::kNoCommand);
    }
    if (!Allowed(g_allowedCommands, command)) {
        return Refuse(Refusal::kCommand, &command);
    }
    if (vel::Compare(command.GetData(), u"InvokeMethod") != 0) {
        return TRUE;
    }
    CVELString method;
    if (!QueryValue(request.m_path, query + 1, u"ORXMethod=", method)) {
        return Refuse(Refusal::kNoMethod);
    }
    return Allowed(g_allowedMethods, method) ? TRUE : Refuse(Refusal::kMethod, &method);
}

BOOL CSubscription::OtherHostRule(const char16_t* url, CHttpRequest& request, BOOL follow) const {
    if (follow && !m_bOutsideLinks) {
        return FALSE;
    }
    PrepareOtherHostRequest(request);
    // A resource fetched beside the walk that writes this URL's entry comes
    // first, as it would have with one connection: the cache then says
    // whether it left the resource there, and the walk's own write comes
    // after that one.
    if (m_pScheduler != nullptr) {
        m_pScheduler->AwaitFetchesOf(url);
    }
    return DownloadedSince(url, m_syncStart, follow) ? FALSE : TRUE;
}
