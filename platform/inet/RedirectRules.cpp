// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/RedirectRules.h"

#include "platform/inet/WinInet.h"

#include <curl/curl.h>

#include <cstdlib>
#include <memory>

namespace inet {

namespace {

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct TextDeleter {
    void operator()(char* text) const { curl_free(text); }
};
using CurlText = std::unique_ptr<char, TextDeleter>;

CurlText Part(CURLU* url, CURLUPart part, unsigned flags) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, flags) != CURLUE_OK) {
        return nullptr;
    }
    return CurlText(text);
}

} // namespace

bool IsFollowedRedirect(DWORD status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::optional<HopTarget> ResolveRedirect(const std::string& base, const std::string& location,
                                         DWORD& error) {
    error = ERROR_INTERNET_INVALID_URL;
    const std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, base.c_str(), 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_URL, location.c_str(),
                     CURLU_URLENCODE | CURLU_ALLOW_SPACE | CURLU_PATH_AS_IS) != CURLUE_OK) {
        return std::nullopt;
    }
    const CurlText full = Part(url.get(), CURLUPART_URL, 0);
    const CurlText scheme = Part(url.get(), CURLUPART_SCHEME, 0);
    const CurlText host = Part(url.get(), CURLUPART_HOST, 0);
    const CurlText port = Part(url.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
    if (!full || !scheme || !host || !port) {
        return std::nullopt;
    }
    const std::string schemeText = scheme.get();
    if (schemeText != "http" && schemeText != "https") {
        error = ERROR_INTERNET_UNRECOGNIZED_SCHEME;
        return std::nullopt;
    }
    error = 0;
    return HopTarget{full.get(), schemeText == "https", host.get(),
                     static_cast<unsigned>(std::strtoul(port.get(), nullptr, 10))};
}

DWORD CheckSchemeChange(bool fromSecure, bool toSecure, DWORD securityFlags) {
    if (!fromSecure && toSecure && (securityFlags & SECURITY_FLAG_IGNORE_REDIRECT_TO_HTTPS) == 0) {
        return ERROR_INTERNET_HTTP_TO_HTTPS_ON_REDIR;
    }
    if (fromSecure && !toSecure && (securityFlags & SECURITY_FLAG_IGNORE_REDIRECT_TO_HTTP) == 0) {
        return ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR;
    }
    return 0;
}

} // namespace inet
