// SPDX-License-Identifier: Apache-2.0
#include "host/common/ControlObject.h"

#include "host/common/HostPage.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

/// Whether a tag named `name` starts at `at` (just after "<" or "</").
bool TagAt(std::string_view html, std::size_t at, std::string_view name) {
    if (at + name.size() > html.size() || !EqualsIgnoringCase(html.substr(at, name.size()), name)) {
        return false;
    }
    if (at + name.size() == html.size()) {
        return true;
    }
    const char next = html[at + name.size()];
    return next == '>' || next == '/' || std::isspace(static_cast<unsigned char>(next)) != 0;
}

/// The name of the element starting at `at` when its content is text to
/// the browser (raw text, escapable raw text, or content it never makes
/// controls of), "" otherwise: an <object> written there is no control.
std::string_view RawTextElementAt(std::string_view html, std::size_t at) {
    static constexpr std::string_view kNames[] = {"script",   "style",   "textarea", "title",
                                                  "xmp",      "iframe",  "noembed",  "noframes",
                                                  "noscript", "template"};
    for (const std::string_view name : kNames) {
        if (TagAt(html, at, name)) {
            return name;
        }
    }
    return {};
}

std::size_t FindIgnoringCase(std::string_view html, std::string_view needle, std::size_t from) {
    for (std::size_t at = html.find('<', from); at != std::string_view::npos;
         at = html.find('<', at + 1)) {
        if (at + needle.size() <= html.size() &&
            EqualsIgnoringCase(html.substr(at, needle.size()), needle)) {
            return at;
        }
    }
    return std::string_view::npos;
}

struct StartTag {
    std::size_t end = std::string_view::npos; // just after ">"
    std::map<std::string, std::string> attributes;
};

/// Reads the attributes of the start tag whose name ends at `at`.
StartTag ReadStartTag(std::string_view html, std::size_t at) {
    StartTag tag;
    const auto space = [&] {
        return at < html.size() &&
               (std::isspace(static_cast<unsigned char>(html[at])) != 0 || html[at] == '/');
    };
    while (at < html.size()) {
        while (space()) {
            ++at;
        }
        if (at >= html.size()) {
            break;
        }
        if (html[at] == '>') {
            tag.end = at + 1;
            break;
        }
        const std::size_t nameStart = at;
        while (at < html.size() && html[at] != '=' && html[at] != '>' && !space()) {
            ++at;
        }
        std::string name(html.substr(nameStart, at - nameStart));
        std::transform(name.begin(), name.end(), name.begin(), Lower);
        std::string value;
        if (at < html.size() && html[at] == '=') {
            ++at;
            if (at < html.size() && (html[at] == '"' || html[at] == '\'')) {
                const std::size_t close = html.find(html[at], at + 1);
                if (close == std::string_view::npos) {
                    break;
                }
                value = html.substr(at + 1, close - at - 1);
                at = close + 1;
            } else {
                const std::size_t valueStart = at;
                while (at < html.size() && html[at] != '>' &&
                       !std::isspace(static_cast<unsigned char>(html[at]))) {
                    ++at;
                }
                value = html.substr(valueStart, at - valueStart);
            }
        }
        tag.attributes.emplace(std::move(name), std::move(value));
    }
    return tag;
}

/// The offset after the end of the element whose start tag ends at `from`.
std::size_t ElementEnd(std::string_view html, std::size_t from, std::size_t tagEnd) {
    int depth = 1;
    for (std::size_t at = html.find('<', from); at != std::string_view::npos;
         at = html.find('<', at + 1)) {
        if (TagAt(html, at + 1, "object")) {
            ++depth;
        } else if (at + 1 < html.size() && html[at + 1] == '/' && TagAt(html, at + 2, "object") &&
                   --depth == 0) {
            const std::size_t close = html.find('>', at);
            return close == std::string_view::npos ? html.size() : close + 1;
        }
    }
    return tagEnd;
}

/// A length a frame may take: digits, optionally followed by "%" or "px".
std::string Length(const std::map<std::string, std::string>& attributes, const char* name) {
    const auto found = attributes.find(name);
    if (found == attributes.end() || found->second.empty() || found->second.size() > 8) {
        return {};
    }
    std::string_view value = found->second;
    const std::size_t digits = value.find_first_not_of("0123456789");
    if (digits == 0) {
        return {};
    }
    const std::string_view unit = digits == std::string_view::npos ? "" : value.substr(digits);
    return unit.empty() || unit == "%" || unit == "px" ? std::string(value) : std::string();
}

} // namespace

std::optional<ControlObjectSpan> FindControlObject(std::string_view html) {
    const std::string classId = ControlClassId();
    for (std::size_t at = html.find('<'); at != std::string_view::npos;
         at = html.find('<', at + 1)) {
        if (html.substr(at, 4) == "<!--") {
            at = html.find("-->", at + 4);
        } else if (const std::string_view raw = RawTextElementAt(html, at + 1); !raw.empty()) {
            at = FindIgnoringCase(html, "</" + std::string(raw), at + 1);
        } else if (TagAt(html, at + 1, "object")) {
            const StartTag tag = ReadStartTag(html, at + 7);
            if (tag.end == std::string_view::npos) {
                return std::nullopt;
            }
            const auto id = tag.attributes.find("classid");
            if (id != tag.attributes.end() && EqualsIgnoringCase(id->second, classId)) {
                return ControlObjectSpan{at, ElementEnd(html, tag.end, tag.end),
                                         Length(tag.attributes, "width"),
                                         Length(tag.attributes, "height")};
            }
        }
        if (at == std::string_view::npos) {
            break;
        }
    }
    return std::nullopt;
}

std::string ReplaceSpan(std::string_view html, const ControlObjectSpan& span,
                        std::string_view replacement) {
    std::string out;
    out.reserve(html.size() + replacement.size());
    out.append(html.substr(0, span.begin));
    out.append(replacement);
    out.append(html.substr(span.end));
    return out;
}
