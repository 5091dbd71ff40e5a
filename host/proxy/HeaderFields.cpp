// SPDX-License-Identifier: Apache-2.0
#include "host/proxy/HeaderFields.h"

#include "platform/inet/WireText.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace proxy {

namespace {

constexpr std::array<std::string_view, 9> kHopByHop = {"connection",
                                                       "keep-alive",
                                                       "proxy-connection",
                                                       "proxy-authenticate",
                                                       "proxy-authorization",
                                                       "te",
                                                       "trailer",
                                                       "transfer-encoding",
                                                       "upgrade"};

// What describes the stored representation itself, and the protections its
// origin sent with it (how it may be shown, framed, embedded and sniffed):
// a copy answered without them would be a different, weaker document of
// that origin. The rest of a stored head (dates, cookies, caching rules)
// spoke for the original exchange.
constexpr std::array<std::string_view, 16> kReplayed = {
    "Content-Type",
    "Content-Encoding",
    "Content-Language",
    "Last-Modified",
    "ETag",
    "Content-Disposition",
    "Content-Security-Policy",
    "Content-Security-Policy-Report-Only",
    "X-Frame-Options",
    "X-Content-Type-Options",
    "Cross-Origin-Opener-Policy",
    "Cross-Origin-Embedder-Policy",
    "Cross-Origin-Resource-Policy",
    "Referrer-Policy",
    "Permissions-Policy",
    "X-Permitted-Cross-Domain-Policies",
};

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsTokenChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

/// A field that can be passed on: a token for a name, and a value without
/// control bytes (a stray CR could split the head a browser reads).
bool IsSound(std::string_view name, std::string_view value) {
    const auto control = [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return (b < 0x20 && c != '\t') || b == 0x7F;
    };
    return !name.empty() && std::all_of(name.begin(), name.end(), IsTokenChar) &&
           std::none_of(value.begin(), value.end(), control);
}

std::optional<unsigned> StatusOf(std::string_view line, std::string& reason) {
    if (!line.starts_with("HTTP/") || line.size() < 12 || line[8] != ' ') {
        return std::nullopt;
    }
    unsigned status = 0;
    const auto [end, error] = std::from_chars(line.data() + 9, line.data() + 12, status);
    if (error != std::errc() || end != line.data() + 12 || status < 100 || status > 999 ||
        (line.size() > 12 && line[12] != ' ')) {
        return std::nullopt;
    }
    reason = line.size() > 13 ? std::string(line.substr(13)) : std::string();
    return status;
}

} // namespace

bool NameEquals(std::string_view a, std::string_view b) {
    return inet::SameFieldName(a, b);
}

std::optional<ResponseHead> ParseResponseHead(std::string_view raw) {
    const std::vector<std::string_view> lines = inet::HeadLines(raw);
    ResponseHead head;
    if (lines.empty()) {
        return std::nullopt;
    }
    const std::optional<unsigned> status = StatusOf(lines.front(), head.reason);
    if (!status) {
        return std::nullopt;
    }
    head.status = *status;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (line.front() == ' ' || line.front() == '\t') {
            if (!head.fields.empty() && IsSound(head.fields.back().name, line)) {
                head.fields.back().value.append(" ").append(inet::TrimBlanks(line));
            }
            continue;
        }
        const auto colon = line.find(':');
        if (colon == std::string_view::npos ||
            !IsSound(line.substr(0, colon), line.substr(colon + 1))) {
            continue; // not a field; a lenient reader drops it
        }
        head.fields.push_back({std::string(line.substr(0, colon)),
                               std::string(inet::TrimBlanks(line.substr(colon + 1)))});
    }
    return head;
}

std::optional<std::string_view> FindField(const std::vector<HeaderField>& fields,
                                          std::string_view name) {
    for (const HeaderField& field : fields) {
        if (NameEquals(field.name, name)) {
            return field.value;
        }
    }
    return std::nullopt;
}

std::vector<std::string> ConnectionTokens(const std::vector<std::string_view>& values) {
    std::vector<std::string> tokens;
    for (std::string_view value : values) {
        while (!value.empty()) {
            const auto comma = value.find(',');
            const std::string_view token = inet::TrimBlanks(value.substr(0, comma));
            if (!token.empty()) {
                std::string lower(token);
                for (char& c : lower) {
                    c = Lower(c);
                }
                tokens.push_back(std::move(lower));
            }
            value.remove_prefix(comma == std::string_view::npos ? value.size() : comma + 1);
        }
    }
    return tokens;
}

bool IsHopByHop(std::string_view name, const std::vector<std::string>& connectionTokens) {
    for (const std::string_view fixed : kHopByHop) {
        if (NameEquals(name, fixed)) {
            return true;
        }
    }
    for (const std::string& token : connectionTokens) {
        if (NameEquals(name, token)) {
            return true;
        }
    }
    return false;
}

std::vector<HeaderField> ReplayedFields(std::string_view storedHeaders) {
    std::vector<HeaderField> out;
    const std::optional<ResponseHead> head = ParseResponseHead(storedHeaders);
    if (!head) {
        return out;
    }
    // Every occurrence: each Content-Security-Policy field is a policy of
    // its own, all enforced.
    for (const std::string_view name : kReplayed) {
        for (const HeaderField& field : head->fields) {
            if (NameEquals(field.name, name)) {
                out.push_back({std::string(name), field.value});
            }
        }
    }
    return out;
}

} // namespace proxy
