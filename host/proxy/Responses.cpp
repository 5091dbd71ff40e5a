// SPDX-License-Identifier: Apache-2.0
#include "host/proxy/Responses.h"

#include "host/proxy/CopyView.h"
#include "host/proxy/ForwardedHeaders.h"

namespace proxy {

namespace http = boost::beast::http;

std::string WireHead(const http::response_header<>& head) {
    std::string out;
    out.reserve(512);
    out += head.version() == 10 ? "HTTP/1.0 " : "HTTP/1.1 ";
    out += std::to_string(head.result_int());
    out += ' ';
    const std::string_view reason = head.reason();
    out += reason.empty() ? std::string_view(http::obsolete_reason(head.result())) : reason;
    out += "\r\n";
    for (const auto& field : head) {
        out += field.name_string();
        out += ": ";
        out += field.value();
        out += "\r\n";
    }
    out += "\r\n";
    return out;
}

std::shared_ptr<TextResponse> TextAnswer(unsigned status, unsigned version, const std::string& type,
                                         std::string body, bool head, bool keepAlive) {
    auto response = std::make_shared<TextResponse>(static_cast<http::status>(status), version);
    response->set(http::field::content_type, type);
    response->set(http::field::cache_control, "no-store");
    // The proxy's own pages and messages are read by no other site: no
    // type guessing, and no loading them into another origin's page.
    response->set("X-Content-Type-Options", "nosniff");
    response->set("Cross-Origin-Resource-Policy", "same-origin");
    if (status == 405) {
        response->set(http::field::allow, "GET, HEAD");
    }
    response->body() = std::move(body);
    response->prepare_payload();
    if (head) {
        response->body().clear();
    }
    response->keep_alive(keepAlive);
    return response;
}

void SetCopyFields(const CachedCopy& copy, http::fields& fields, const CopyServing& serving) {
    bool typed = false;
    const HeaderField* previous = nullptr;
    for (const HeaderField& field : copy.Fields()) {
        // Fields of one name come together: the first replaces, the others add.
        if (previous == nullptr || !NameEquals(previous->name, field.name)) {
            fields.erase(field.name);
        }
        fields.insert(field.name, field.value);
        previous = &field;
        typed = typed || NameEquals(field.name, "Content-Type");
    }
    if (!typed) {
        fields.set(http::field::content_type, "application/octet-stream");
    }
    fields.set("X-Cache", serving.stale ? "STALE" : "HIT");
    if (serving.stale) {
        fields.set(http::field::warning, "110 dravik \"Response is Stale\"");
    }
    if (serving.view) {
        SetCopyViewFields(fields);
    }
}

namespace {

enum class ViewKind { AsIs, Html, Css };

ViewKind KindOf(const CachedCopy& copy) {
    ViewKind kind = ViewKind::AsIs;
    for (const HeaderField& field : copy.Fields()) {
        if (NameEquals(field.name, "Content-Encoding") && !NameEquals(field.value, "identity")) {
            return ViewKind::AsIs;
        }
        if (NameEquals(field.name, "Content-Type")) {
            const std::string_view type = field.value;
            kind = NameEquals(type.substr(0, 9), "text/html")  ? ViewKind::Html
                   : NameEquals(type.substr(0, 8), "text/css") ? ViewKind::Css
                                                               : ViewKind::AsIs;
        }
    }
    return kind;
}

} // namespace

bool ViewRewrites(const CachedCopy& copy) {
    return KindOf(copy) != ViewKind::AsIs;
}

bool IsPlainHtml(const CachedCopy& copy) {
    return KindOf(copy) == ViewKind::Html;
}

std::shared_ptr<TextResponse> WholeCopyAnswer(CachedCopy& copy, const CopyServing& serving,
                                              unsigned version, bool head, bool keepAlive) {
    auto response = std::make_shared<TextResponse>(http::status::ok, version);
    SetCopyFields(copy, *response, serving);
    std::string& body = response->body();
    body.resize(static_cast<std::size_t>(copy.Size()));
    std::size_t got = 0;
    for (std::size_t done = 0; done < body.size(); done += got) {
        if (!copy.Read(body.data() + done, body.size() - done, got) || got == 0) {
            return nullptr;
        }
    }
    const ViewKind kind = serving.view ? KindOf(copy) : ViewKind::AsIs;
    if (kind == ViewKind::Html) {
        body = CopyViewHtml(body, serving.url, serving.viewKey);
    } else if (kind == ViewKind::Css) {
        body = CopyViewCss(body, serving.url, serving.viewKey);
    }
    response->prepare_payload();
    if (head) {
        body.clear();
    }
    response->keep_alive(keepAlive);
    return response;
}

std::shared_ptr<KeptResponse> KeptBytesAnswer(const CachedCopy& copy, const CopyServing& serving,
                                              unsigned version, bool head, bool keepAlive) {
    auto response = std::make_shared<KeptResponse>(http::status::ok, version);
    SetCopyFields(copy, *response, serving);
    const std::string_view bytes = copy.Stored()->Bytes();
    if (!head) {
        response->body() = {bytes.data(), bytes.size()};
    }
    response->content_length(bytes.size());
    response->keep_alive(keepAlive);
    return response;
}

bool PrepareForwardedHead(const ResponseHead& head, StreamedResponse& out, bool headRequest,
                          bool& keepAlive) {
    out.result(head.status);
    out.reason(head.reason);
    const std::optional<std::uint64_t> length = CopyResponseFields(head, out);
    const bool bodyless =
        headRequest || head.status < 200 || head.status == 204 || head.status == 304;
    if (bodyless) {
        if (length) {
            out.set(http::field::content_length, std::to_string(*length));
        }
    } else if (length) {
        out.content_length(*length);
    } else if (out.version() >= 11) {
        out.chunked(true);
    } else {
        keepAlive = false; // the end of the body is the end of the connection
    }
    out.set("X-Cache", "MISS");
    out.keep_alive(keepAlive);
    return bodyless;
}

} // namespace proxy
