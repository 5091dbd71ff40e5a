// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/RequestHeaders.h"

#include <cctype>
#include <set>
#include <string_view>

namespace inet {

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

bool IsBlank(std::string_view text) {
    return text.find_first_not_of(" \t") == std::string_view::npos;
}

bool Append(CurlSlist& list, const std::string& line) {
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (grown == nullptr) {
        return false;
    }
    static_cast<void>(list.release());
    list.reset(grown);
    return true;
}

bool IsFirstHostOnly(const std::string& lowerName) {
    return lowerName == "host" || lowerName == "cookie" || lowerName == "authorization";
}

} // namespace

CurlSlist BuildHeaderList(const RequestHeaderSource& source, bool toOtherHost) {
    CurlSlist list;
    std::set<std::string> names;
    std::string_view rest = source.block;
    while (!rest.empty()) {
        const auto end = rest.find("\r\n");
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 2);
        const auto colon = line.find(':');
        // A bare CR or LF inside a line would end it early on the wire and
        // let the rest pass as a header of its own: such a line is not sent.
        if (colon == std::string_view::npos || colon == 0 ||
            line.find_first_of("\r\n") != std::string_view::npos) {
            continue;
        }
        const std::string name = Lower(line.substr(0, colon));
        if (toOtherHost && IsFirstHostOnly(name)) {
            continue;
        }
        names.insert(name);
        // libcurl reads "Name:" as "do not send Name"; "Name;" is its way of
        // sending the header with an empty value.
        const bool emptyValue = IsBlank(line.substr(colon + 1));
        Append(list, emptyValue ? std::string(line.substr(0, colon)) + ";" : std::string(line));
    }
    if (!names.contains("accept")) {
        // Without types, "Accept:" keeps libcurl from adding its own line.
        Append(list, source.acceptTypes.empty() ? "Accept:" : "Accept: " + source.acceptTypes);
    }
    if (!source.referrer.empty() && !names.contains("referer")) {
        Append(list, "Referer: " + source.referrer);
    }
    if (!source.agent.empty() && !names.contains("user-agent")) {
        Append(list, "User-Agent: " + source.agent);
    }
    if (source.hasBody) {
        // libcurl would add a form type and wait for "100 Continue" before
        // a large body; the caller's lines alone describe the body.
        for (const char* name : {"content-type", "expect"}) {
            if (!names.contains(name)) {
                Append(list, std::string(name) + ":");
            }
        }
    }
    if (source.http10 && !names.contains("connection")) {
        Append(list, "Connection: Keep-Alive");
    }
    return list;
}

} // namespace inet
