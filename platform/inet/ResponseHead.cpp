// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/ResponseHead.h"

#include <algorithm>
#include <cctype>

namespace inet {

namespace {

std::string_view TrimLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    return line;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

DWORD ParseStatus(std::string_view statusLine) {
    const auto space = statusLine.find(' ');
    if (space == std::string_view::npos) {
        return 0;
    }
    DWORD status = 0;
    for (std::size_t i = space + 1; i < statusLine.size() && i < space + 4; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(statusLine[i]))) {
            return 0;
        }
        status = status * 10 + static_cast<DWORD>(statusLine[i] - '0');
    }
    return status;
}

} // namespace

void ResponseHead::Reset() {
    m_raw.clear();
    m_headerLines = 0;
    m_status = 0;
    m_complete = false;
}

bool ResponseHead::AddLine(std::string_view line) {
    const std::string_view text = TrimLineEnd(line);
    if (text.starts_with("HTTP/")) {
        Reset();
        m_status = ParseStatus(text);
        m_raw.append(text).append("\r\n");
        return false;
    }
    if (m_complete) {
        return false;
    }
    if (text.empty()) {
        m_raw += "\r\n";
        m_complete = true;
        return true;
    }
    if ((text.front() == ' ' || text.front() == '\t') && m_headerLines > 0) {
        // A folded line continues the header before it, joined by one space.
        m_raw.resize(m_raw.size() - 2);
        m_raw.append(" ").append(TrimBlanks(text)).append("\r\n");
        return false;
    }
    // Every header line reads back as "Name: value", however the server
    // spaced it, so callers that split at ": " find its name.
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) {
        m_raw.append(text);
    } else {
        m_raw.append(text.substr(0, colon)).append(": ").append(TrimBlanks(text.substr(colon + 1)));
    }
    m_raw += "\r\n";
    ++m_headerLines;
    return false;
}

std::string_view ResponseHead::StatusLine() const {
    const std::string_view raw = m_raw;
    return raw.substr(0, raw.find("\r\n"));
}

std::string_view ResponseHead::Version() const {
    const std::string_view line = StatusLine();
    return line.substr(0, line.find(' '));
}

std::string_view ResponseHead::Reason() const {
    const std::string_view line = StatusLine();
    const auto first = line.find(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    const auto second = line.find(' ', first + 1);
    return second == std::string_view::npos ? std::string_view{} : line.substr(second + 1);
}

std::optional<std::string_view> ResponseHead::Header(std::string_view name, DWORD index) const {
    std::string_view rest = m_raw;
    rest.remove_prefix(std::min(rest.size(), StatusLine().size() + 2));
    while (!rest.empty()) {
        const auto end = rest.find("\r\n");
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 2);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos || !EqualsIgnoringCase(line.substr(0, colon), name)) {
            continue;
        }
        if (index-- == 0) {
            return TrimBlanks(line.substr(colon + 1));
        }
    }
    return std::nullopt;
}

} // namespace inet
