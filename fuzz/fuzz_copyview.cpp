// SPDX-License-Identifier: Apache-2.0
// Fuzzes what the proxy rewrites and stores of content nobody vetted: a
// kept page and style sheet shown in the copy view, and a response head as
// an HTTP cache judges and stores it.
//
// Text with nothing to rewrite comes back unchanged; a stored head never
// keeps a cookie it was told to drop and ends with the mark asked for; a
// shared cache never keeps what a private one would not.
#include "host/proxy/CopyView.h"
#include "platform/inet/HttpCacheRules.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

void CheckHead(std::string_view text) {
    const std::string stored = inet::StoredHeadText(text, {true, true, false});
    Check(stored.ends_with("X-Dravik-Certificate: unverified\r\n\r\n"));
    std::string lower;
    for (const char c : stored) {
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    Check(lower.find("\nset-cookie:") == std::string::npos);
    inet::ResponseHead head;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        head.AddLine(text.substr(start, next - start));
        start = next;
    }
    // A shared cache never keeps what a private one would not.
    Check(!inet::MayStoreResponse(head, text, true) || inet::MayStoreResponse(head, text, false));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string_view page = "http://a.example/d/page.html";
    const std::string html = proxy::CopyViewHtml(text, page, "k");
    const std::string css = proxy::CopyViewCss(text, page, "k");
    // Text without a tag or a url() has nothing to rewrite.
    Check(text.find('<') != std::string_view::npos || html == text);
    Check(text.find("url(") != std::string_view::npos || css == text);
    CheckHead(text);
    return 0;
}
