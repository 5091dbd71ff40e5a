// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/HttpCacheRules.h"

#include "platform/inet/WireText.h"

#include <vector>

namespace inet {

namespace {

std::string_view NameOf(std::string_view line) {
    const auto colon = line.find(':');
    return colon == std::string_view::npos ? std::string_view() : TrimBlanks(line.substr(0, colon));
}

std::string_view ValueOf(std::string_view line) {
    const auto colon = line.find(':');
    return colon == std::string_view::npos ? std::string_view()
                                           : TrimBlanks(line.substr(colon + 1));
}

/// True when the comma-separated Cache-Control `value` has `directive`
/// (its name, with or without an argument).
bool HasDirective(std::string_view value, std::string_view directive) {
    while (!value.empty()) {
        const auto comma = value.find(',');
        std::string_view item = TrimBlanks(value.substr(0, comma));
        item = TrimBlanks(item.substr(0, item.find('=')));
        if (SameFieldName(item, directive)) {
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
    for (const std::string_view line : HeadLines(block)) {
        const std::string_view name = NameOf(line);
        if (SameFieldName(name, "Cache-Control")) {
            facts.noStore = facts.noStore || HasDirective(ValueOf(line), "no-store");
        } else if (SameFieldName(name, "Authorization")) {
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
    for (const std::string_view line : HeadLines(raw)) {
        if (line.empty()) {
            break;
        }
        // A folded continuation line goes with the line before it.
        const bool continuation = !first && (line.front() == ' ' || line.front() == '\t');
        if (!continuation) {
            const std::string_view name = first ? std::string_view() : NameOf(line);
            skipping = SameFieldName(name, kCertificateField) || SameFieldName(name, kCacheField) ||
                       (marks.dropCookies &&
                        (SameFieldName(name, "Set-Cookie") || SameFieldName(name, "Set-Cookie2")));
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
