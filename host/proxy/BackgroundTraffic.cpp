// SPDX-License-Identifier: Apache-2.0
#include "host/proxy/BackgroundTraffic.h"

#include <algorithm>
#include <cctype>

namespace proxy {

namespace {

bool Contains(std::string_view text, std::string_view part) {
    return std::search(text.begin(), text.end(), part.begin(), part.end(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           }) != text.end();
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && Contains(text.substr(0, prefix.size()), prefix);
}

/// The last segment of the target's path, without query or fragment.
std::string_view LastSegment(std::string_view target) {
    target = target.substr(0, target.find_first_of("?#"));
    const auto slash = target.rfind('/');
    return slash == std::string_view::npos ? target : target.substr(slash + 1);
}

bool IsIcon(std::string_view target) {
    const std::string_view name = LastSegment(target);
    return StartsWith(name, "favicon") || StartsWith(name, "apple-touch-icon");
}

bool IsSpeculative(std::string_view purpose) {
    return Contains(purpose, "prefetch") || Contains(purpose, "prerender") ||
           Contains(purpose, "preview");
}

} // namespace

bool IsBackgroundTraffic(const RequestSigns& signs) {
    if (IsIcon(signs.target) || IsSpeculative(signs.purpose)) {
        return true;
    }
    return signs.referer.empty() && !Contains(signs.accept, "text/html");
}

} // namespace proxy
