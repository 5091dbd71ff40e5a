// SPDX-License-Identifier: Apache-2.0
#include "host/proxy/PanelHook.h"

#include "host/browser/DialogHtml.h"
#include "host/common/ControlObject.h"
#include "host/common/PageEncoding.h"
#include "host/proxy/FramePolicy.h"
#include "host/proxy/HeaderFields.h"
#include "platform/inet/WireText.h"

#include <algorithm>

namespace proxy {

namespace http = boost::beast::http;

bool OpensAsDocument(const http::fields& request) {
    const auto dest = request.find("Sec-Fetch-Dest");
    if (dest == request.end()) {
        return true;
    }
    return NameEquals(dest->value(), "document") || NameEquals(dest->value(), "iframe") ||
           NameEquals(dest->value(), "frame");
}

bool MayHoldPanel(unsigned status, const http::fields& head) {
    if (status != 200) {
        return false;
    }
    const auto type = head.find(http::field::content_type);
    if (type == head.end() || type->value().size() < 9 ||
        !NameEquals(type->value().substr(0, 9), "text/html")) {
        return false;
    }
    if (const auto coding = head.find(http::field::content_encoding);
        coding != head.end() && !NameEquals(coding->value(), "identity")) {
        return false;
    }
    const auto length = head.find(http::field::content_length);
    if (length == head.end()) {
        return true;
    }
    std::uint64_t size = 0;
    for (const char c : length->value()) {
        if (c < '0' || c > '9' || size > kPanelPageLimit) {
            return false;
        }
        size = size * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return size <= kPanelPageLimit;
}

void VaryByDestination(http::response_header<>& head) {
    if (!MayHoldPanel(head.result_int(), head)) {
        return;
    }
    // Every Vary line counts: a later one may name a field or say "*".
    std::string joined;
    const auto [first, last] = head.equal_range(http::field::vary);
    for (auto field = first; field != last; ++field) {
        for (std::string_view rest = field->value(); !rest.empty();) {
            const std::size_t comma = std::min(rest.find(','), rest.size());
            const std::string_view token = inet::TrimBlanks(rest.substr(0, comma));
            rest.remove_prefix(std::min(comma + 1, rest.size()));
            if (token == "*" || NameEquals(token, "Sec-Fetch-Dest")) {
                return;
            }
        }
        joined.append(joined.empty() ? "" : ", ").append(field->value());
    }
    head.set(http::field::vary, joined.empty() ? "Sec-Fetch-Dest" : joined + ", Sec-Fetch-Dest");
}

namespace {

/// Whether the page's own Content-Security-Policy lets it frame the panel.
bool PageAllowsPanelFrame(const TextResponse& response, const std::string& pageOrigin,
                          const std::string& selfOrigin) {
    std::vector<std::string_view> policies;
    const auto [first, last] = response.equal_range("Content-Security-Policy");
    for (auto field = first; field != last; ++field) {
        policies.push_back(field->value());
    }
    return PolicyAllowsFrame(policies, selfOrigin, pageOrigin);
}

/// The page with a notice where its control's object is: its policy
/// forbids the panel's frame. Nothing when the page holds no object.
std::optional<std::string> PutNoticeInPage(std::string_view page, const std::string& selfOrigin) {
    const std::optional<ControlObjectSpan> span = FindControlObject(page);
    if (!span) {
        return std::nullopt;
    }
    const auto [width, height] = PanelPixels();
    const std::string notice =
        "<div style=\"box-sizing:border-box;width:" +
        (span->width.empty() ? std::to_string(width) + "px" : HtmlEscape(span->width) + "px") +
        ";border:1px solid #b00;padding:8px;font:12px Arial,sans-serif;color:#600\">"
        "The synchronization panel cannot be shown here: this page's Content-Security-Policy "
        "does not allow frames from " +
        HtmlEscape(selfOrigin) + ". Add " + HtmlEscape(selfOrigin) +
        " to its frame-src (or child-src, or default-src).</div>";
    return ReplaceSpan(page, *span, notice);
}

} // namespace

void PutPanelInResponse(TextResponse& response, const ProxyTarget& target,
                        const std::string& selfOrigin) {
    if (!MayHoldPanel(response.result_int(), response.base()) || response.body().empty()) {
        return;
    }
    const std::string origin =
        (target.secure ? "https://" : "http://") + HostKey(target.authority, target.secure);
    const auto type = response.find(http::field::content_type);
    const std::string charset =
        type == response.end() ? std::string() : CharsetOfContentType(type->value());
    std::optional<std::string> page =
        PageAllowsPanelFrame(response, origin, selfOrigin)
            ? PanelHost::Instance().PutPanelInPage(response.body(), CacheUrl(target), charset,
                                                   origin, selfOrigin)
            : PutNoticeInPage(response.body(), selfOrigin);
    if (page) {
        response.body() = std::move(*page);
        response.content_length(response.body().size());
        // The page names a panel made for this one response: a copy the
        // browser kept would name one that may be gone.
        for (const http::field field : {http::field::etag, http::field::last_modified,
                                        http::field::expires, http::field::age}) {
            response.erase(field);
        }
        response.set(http::field::cache_control, "no-store");
    }
}

bool PagePieces::Add(std::string_view piece) {
    if (m_body.size() + piece.size() > kPanelPageLimit || !m_held->Grow(piece.size())) {
        m_body.append(piece); // handed back whole by Take, to stream on
        return false;
    }
    m_body.append(piece);
    return true;
}

std::shared_ptr<TextResponse> PagePieces::Whole(const http::response_header<>& head,
                                                bool keepAlive) {
    struct Held {
        TextResponse response;
        std::unique_ptr<HeldPageBytes> bytes;
    };
    auto holder = std::make_shared<Held>();
    holder->bytes = std::move(m_held);
    m_held = std::make_unique<HeldPageBytes>();
    std::shared_ptr<TextResponse> response(holder, &holder->response);
    response->base() = head;
    response->chunked(false);
    response->body() = std::move(m_body);
    response->content_length(response->body().size());
    response->keep_alive(keepAlive);
    return response;
}

std::shared_ptr<TextResponse> PanelAnswer(const PanelReply& reply, unsigned version, bool head,
                                          bool keepAlive) {
    std::shared_ptr<TextResponse> answer =
        TextAnswer(reply.status, version, reply.contentType, reply.body, head, keepAlive);
    answer->erase(http::field::allow);
    answer->set("Referrer-Policy", "no-referrer");
    bool policy = false;
    for (const auto& [name, value] : reply.fields) {
        answer->set(name, value);
        policy = policy || NameEquals(name, "Content-Security-Policy");
    }
    if (!policy) {
        // The document says which page may frame it; nothing else is framed.
        answer->set("X-Frame-Options", "DENY");
        answer->set("Content-Security-Policy", "default-src 'none'; frame-ancestors 'none'");
    }
    return answer;
}

} // namespace proxy
