// SPDX-License-Identifier: Apache-2.0
// `dravik fetch URL`: one request made the way a crawl makes it for a page on
// another host, for checking that an address is reachable.
#include "crawler/CrawlRequest.h"
#include "host/Commands.h"
#include "host/common/ErrorText.h"
#include "host/common/ProtocolChoice.h"
#include "host/common/RunReport.h"
#include "host/common/SessionListener.h"
#include "net/HeaderBlock.h"
#include "net/HttpRequest.h"
#include "net/InternetSession.h"
#include "net/Url.h"
#include "platform/kernel/LastError.h"
#include "platform/text/Utf8.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

struct FetchOptions {
    std::string url;
    std::vector<std::string> headers;
    bool noCache = false;
    bool http2 = false;
};

// As the crawl asks for a page on another host, except that the headers the
// user gave with -H all go out (they are asked for by name) and --no-cache
// keeps the response out of the cache.
void PrepareRequest(CHttpRequest& request, const FetchOptions& options) {
    std::string lines;
    for (const std::string& line : options.headers) {
        lines.append(line).append("\r\n");
    }
    PrepareCrawlRequest(request, Utf8ToUtf16(lines).c_str());
    request.m_dwFlags |= options.noCache ? INTERNET_FLAG_NO_CACHE_WRITE : INTERNET_FLAG_NEED_FILE;
    const std::int32_t fragment = request.m_path.ReverseFind(u'#');
    if (fragment >= 0) {
        request.m_path.Truncate(fragment);
    }
}

int Fail(int status, const std::string& message) {
    std::cerr << "dravik fetch: " << message << "\n";
    return status;
}

/// Streams the body to standard output piece by piece.
bool CopyBody(CHttpRequest& request) {
    DWORD count = 0;
    do {
        if (!request.ReadData(&count)) {
            return false;
        }
        std::fwrite(request.m_response.GetData(), 1, count, stdout);
        request.m_response.Empty();
    } while (count != 0);
    return std::fflush(stdout) == 0;
}

std::string Text(const CVELString& s) {
    return Utf16ToUtf8(std::u16string_view(s.GetData(), static_cast<std::size_t>(s.GetLength())));
}

int RunFetch(const FetchOptions& options) {
    auto request = std::make_unique<CHttpRequest>();
    const std::u16string url = Utf8ToUtf16(options.url);
    if (!ParseURL(url.c_str(), request->m_host, request->m_path, &request->m_nPort,
                  &request->m_bSecure)) {
        return Fail(kExitUsage, "not an http or https URL: " + options.url);
    }
    for (const std::string& line : options.headers) {
        if (line.find_first_of("\r\n") != std::string::npos) {
            return Fail(kExitUsage, "a header may not hold a line break: -H \"" +
                                        Printable(Utf8ToUtf16(line)) + "\"");
        }
        if (line.find(": ") == std::string::npos || line.starts_with(":")) {
            return Fail(kExitUsage, "-H takes \"Name: value\", not \"" + line + "\"");
        }
    }
    if (!OpenInternetSession()) {
        return Fail(kExitTransport,
                    "cannot open the internet session: " + DescribeError(GetLastError()));
    }
    if (options.http2) {
        if (!OfferHttp2(g_hInternet, TRUE)) {
            const DWORD error = GetLastError();
            CloseInternetSession();
            return Fail(kExitTransport, "cannot offer HTTP/2: " + DescribeError(error));
        }
    }
    PrepareRequest(*request, options);
    std::optional<SessionListener> listener(std::in_place, g_hInternet, nullptr);
    DWORD status = 0;
    CVELString headers;
    CVELString finalUrl(url.c_str());
    if (!request->SendRequest() || !request->ReadResponseHeaders(&status, headers)) {
        const DWORD error = GetLastError();
        listener.reset();
        CloseInternetSession();
        return Fail(error == ERROR_INTERNET_DISCONNECTED ? kExitOffline : kExitTransport,
                    DescribeError(error));
    }
    request->QueryFinalURL(finalUrl);
    std::cerr << "HTTP " << status << "\nURL: " << Text(finalUrl) << "\n" << Text(headers);
    const bool complete = CopyBody(*request);
    const DWORD error = GetLastError();
    request.reset();
    const std::vector<UrlCacheFailure> failures = listener->CacheFailures();
    listener.reset();
    CloseInternetSession();
    if (!complete) {
        return Fail(kExitTransport, "the body could not be read: " + DescribeError(error));
    }
    return ReportCacheFailures(std::cerr, "dravik fetch: ", failures,
                               status == 200 ? kExitOk : kExitFailed);
}

} // namespace

void AddFetchCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<FetchOptions>();
    CLI::App* fetch = app.add_subcommand(
        "fetch", "Fetch one URL the way a crawl fetches a page on another host: status line, URL "
                 "after redirects and filtered headers on standard error, body on standard "
                 "output. The response goes to the URL cache unless --no-cache is given.");
    fetch->add_option("URL", options->url, "an http or https URL");
    auto missed = std::make_shared<bool>(false);
    fetch->add_flag("--missed", *missed,
                    "instead of URL, fetch every address `dravik proxy` noted while offline "
                    "(see `dravik cache missed`) into the cache");
    // One value per -H, so that the URL after it stays the URL.
    fetch
        ->add_option("-H,--header", options->headers,
                     "an extra request header, \"Name: value\" (no line breaks)")
        ->allow_extra_args(false);
    fetch->add_flag("--no-cache", options->noCache, "do not write the response to the URL cache");
    fetch->add_flag("--http2", options->http2, kHttp2Help);
    fetch->footer(ExitStatusHelp({0, 1, 2, 3, 4, 5}));
    fetch->callback([options, missed, &exitCode] {
        if (*missed != options->url.empty()) {
            exitCode = Fail(kExitUsage, "give either a URL or --missed");
            return;
        }
        exitCode = *missed ? RunFetchMissed() : RunFetch(*options);
    });
}
