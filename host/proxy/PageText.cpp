// SPDX-License-Identifier: Apache-2.0
#include "host/proxy/PageText.h"

#include "platform/text/Utf8.h"

#include <cstdio>
#include <ctime>

namespace proxy {

std::string HtmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace proxy
