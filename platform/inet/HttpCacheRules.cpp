// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/HttpCacheRules.h"

#include <vector>

namespace inet {

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

/// Splits header text into its lines, without their line ends.
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return lines;
}

std::string_view NameOf(std::string_view line) {
    const auto colon = line.find(':');
    return colon == std::string_view::npos ? std::string_view() : Trim(line.substr(0, colon));
}

std::string_view ValueOf(std::string_view line) {
    const auto colon = line.find(':');
    return colon == std::string_view::npos ? std::string_view() : Trim(line.substr(colon + 1));
}

/// True when the comma-separated Cache-Control `value` has `directive`
/// (its name, with or without an argument).
bool HasDirective(std::string_view value, std::string_view directive) {
    while (!value.empty()) {
        const auto comma = value.find(',');
        std::string_view item = Trim(value.substr(0, comma));
        item = Trim(item.substr(0, item.find('=')));
        if (SameName(item, directive)) {
            return true;
        }
        value.remove_prefix(comma == std::string_view::npos ? value.size() : comma + 1);
    }
    return false;
}

struct RequestFacts {
    bool noStore = false;
    bool credentials = false;
};

RequestFacts ReadRequest(std::string_view block) {
    RequestFacts facts;
    for (const std::string_view line : Lines(block)) {
        const std::string_view name = NameOf(line);
        if (SameName(name, "Cache-Control")) {
            facts.noStore = facts.noStore || HasDirective(ValueOf(line), "no-store");
        } else if (SameName(name, "Authorization")) {
            facts.credentials = true;
        }
    }
    return facts;
}

/// True when any of the response's Cache-Control lines has `directive`.
bool ResponseSays(const ResponseHead& head, std::string_view directive) {
    for (DWORD i = 0;; ++i) {
        const std::optional<std::string_view> value = head.Header("Cache-Control", i);
        if (!value) {
            return false;
        }
        if (HasDirective(*value, directive)) {
            return true;
        }
    }
}

bool VariesOnEverything(const ResponseHead& head) {
    for (DWORD i = 0;; ++i) {
        const std::optional<std::string_view> value = head.Header("Vary", i);
        if (!value) {
            return false;
        }
        if (HasDirective(*value, "*")) {
            return true;
        }
    }
}

} // namespace

bool MayStoreResponse(const ResponseHead& head, std::string_view requestBlock, bool shared) {
    const RequestFacts request = ReadRequest(requestBlock);
    if (request.noStore || ResponseSays(head, "no-store") || VariesOnEverything(head)) {
        return false;
    }
    if (!shared) {
        return true;
    }
    if (ResponseSays(head, "private")) {
        return false;
    }
    return !request.credentials || ResponseSays(head, "public") ||
           ResponseSays(head, "must-revalidate") || ResponseSays(head, "s-maxage");
}

bool OnlyForThisMachine(const ResponseHead& head, std::string_view requestBlock, bool shared) {
    return !shared || ReadRequest(requestBlock).credentials || ResponseSays(head, "no-cache") ||
           ResponseSays(head, "must-revalidate") || ResponseSays(head, "proxy-revalidate") ||
           head.Header("Vary").has_value();
}

std::string StoredHeadText(std::string_view raw, const StoredHeadMarks& marks) {
    std::string out;
    out.reserve(raw.size() + 40);
    bool first = true;
    bool skipping = false;
    for (const std::string_view line : Lines(raw)) {
        if (line.empty()) {
            break;
        }
        // A folded continuation line goes with the line before it.
        const bool continuation = !first && (line.front() == ' ' || line.front() == '\t');
        if (!continuation) {
            const std::string_view name = first ? std::string_view() : NameOf(line);
            skipping = SameName(name, kCertificateField) || SameName(name, kCacheField) ||
                       (marks.dropCookies &&
                        (SameName(name, "Set-Cookie") || SameName(name, "Set-Cookie2")));
        }
        first = false;
        if (!skipping) {
            out.append(line).append("\r\n");
        }
    }
    if (marks.unverified) {
        out.append(kCertificateField).append(": ").append(kUnverifiedValue).append("\r\n");
    }
    if (marks.thisMachineOnly) {
        out.append(kCacheField).append(": ").append(kThisMachineValue).append("\r\n");
    }
    out.append("\r\n");
    return out;
}

} // namespace inet
