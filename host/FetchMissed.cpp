// SPDX-License-Identifier: Apache-2.0
// `dravik fetch --missed`: every address noted by `dravik proxy` while
// offline, fetched into the URL cache the way a crawl fetches a page on
// another host. What arrives with status 200 is forgotten from the list.
#include "crawler/Subscription.h"
#include "host/Commands.h"
#include "host/common/ErrorText.h"
#include "host/common/InterruptGuard.h"
#include "net/HeaderBlock.h"
#include "net/HttpRequest.h"
#include "net/InternetSession.h"
#include "net/Url.h"
#include "platform/cache/MissedUrls.h"
#include "platform/kernel/LastError.h"
#include "platform/text/Utf8.h"

#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr DWORD kOtherHostFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP |
                                  INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS | INTERNET_FLAG_HYPERLINK |
                                  INTERNET_FLAG_NEED_FILE;

/// Fetches `url` to the end of its body (which stores it); its status, or
/// 0 with the last error set.
DWORD FetchOne(const std::u16string& url) {
    auto request = std::make_unique<CHttpRequest>();
    if (!ParseURL(url.c_str(), request->m_host, request->m_path, &request->m_nPort,
                  &request->m_bSecure)) {
        SetLastError(ERROR_INTERNET_INVALID_URL);
        return 0;
    }
    request->m_dwFlags = kOtherHostFlags;
    SetHeader(request->m_headers, u"User-agent", kCrawlerUserAgent);
    CVELString host(request->m_host);
    AppendPort(host, request->m_nPort, request->m_bSecure);
    SetHeader(request->m_headers, u"Host", host.GetData());
    DWORD status = 0;
    CVELString headers;
    if (!request->SendRequest() || !request->ReadResponseHeaders(&status, headers)) {
        return 0;
    }
    DWORD count = 0;
    do {
        if (!request->ReadData(&count)) {
            return 0;
        }
        request->m_response.Empty();
    } while (count != 0);
    return status;
}

int FetchAll(const std::vector<urlcache::MissedUrl>& missed) {
    int exitCode = kExitOk;
    for (const urlcache::MissedUrl& m : missed) {
        const std::string url = Utf16ToUtf8(m.url);
        const DWORD status = FetchOne(m.url);
        if (status == 0 && GetLastError() == ERROR_INTERNET_DISCONNECTED) {
            std::cerr << "dravik fetch: the internet library is set to work offline; run "
                         "`dravik offline off` first\n";
            return kExitOffline;
        }
        if (status == 0) {
            std::cout << "failed " << url << " (" << DescribeError(GetLastError()) << ")\n";
            exitCode = kExitTransport;
            continue;
        }
        std::cout << status << " " << url << "\n";
        if (status == 200) {
            if (!urlcache::ForgetMissedUrl(m.url)) {
                std::cerr << "dravik fetch: warning: " << url
                          << " is kept but stays in the list of missed addresses\n";
            }
        } else if (exitCode == kExitOk) {
            exitCode = kExitFailed;
        }
    }
    return exitCode;
}

} // namespace

int RunFetchMissed() {
    const InterruptGuard guard("dravik fetch: ");
    std::vector<urlcache::MissedUrl> missed;
    if (!urlcache::ListMissedUrls(missed)) {
        std::cerr << "dravik fetch: the list of missed addresses could not be read\n";
        return kExitCache;
    }
    if (!OpenInternetSession()) {
        const DWORD error = GetLastError();
        CloseInternetSession();
        std::cerr << "dravik fetch: cannot open the internet session (" << DescribeError(error)
                  << ")\n";
        return kExitTransport;
    }
    const int status = FetchAll(missed);
    CloseInternetSession();
    std::cout << missed.size() << (missed.size() == 1 ? " address" : " addresses") << " tried\n";
    return status;
}
