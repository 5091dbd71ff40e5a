// SPDX-License-Identifier: Apache-2.0
#include "crawler/CrawlRequest.h"

#include "crawler/Subscription.h"
#include "net/HeaderBlock.h"
#include "net/Url.h"

namespace {

constexpr DWORD kEveryRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP |
                                     INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS |
                                     INTERNET_FLAG_HYPERLINK;

} // namespace

void PrepareCrawlRequest(CHttpRequest& request, const char16_t* headers) {
    request.m_dwFlags = kEveryRequestFlags;
    SetHeaderLines(request.m_headers, headers != nullptr ? headers : u"");
    for (const char16_t* name : {u"Referer", u"Connection", u"If-modified-since"}) {
        RemoveHeader(request.m_headers, name);
    }
    SetHeader(request.m_headers, u"User-agent", kCrawlerUserAgent);
    CVELString host(request.m_host);
    AppendPort(host, request.m_nPort, request.m_bSecure);
    SetHeader(request.m_headers, u"Host", host.GetData());
}

void PrepareOtherHostRequest(CHttpRequest& request) {
    request.m_dwFlags |= INTERNET_FLAG_NEED_FILE;
    RemoveHeader(request.m_headers, u"Cookie");
    RemoveHeader(request.m_headers, u"Authorization");
}
