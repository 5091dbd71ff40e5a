// SPDX-License-Identifier: Apache-2.0
// The responses the proxy writes itself: short pages, cached copies, and
// the head of a forwarded response with its framing decided.
#pragma once

#include "host/proxy/CachedCopy.h"
#include "host/proxy/HeaderFields.h"

#include <boost/beast/http/buffer_body.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/span_body.hpp>
#include <boost/beast/http/string_body.hpp>

#include <memory>
#include <string>

namespace proxy {

using TextResponse = boost::beast::http::response<boost::beast::http::string_body>;
using StreamedResponse = boost::beast::http::response<boost::beast::http::buffer_body>;
/// A response whose body is bytes held elsewhere (a kept copy in memory).
using KeptResponse = boost::beast::http::response<boost::beast::http::span_body<const char>>;

/// A whole response of `type` with `body`, never cached by the browser;
/// for a HEAD request (`head`) the body's length without the body.
/// The status line and header block of `head`, as they go on the wire: one
/// string, so that a whole answer leaves in one write beside its body.
std::string WireHead(const boost::beast::http::response_header<>& head);

std::shared_ptr<TextResponse> TextAnswer(unsigned status, unsigned version, const std::string& type,
                                         std::string body, bool head, bool keepAlive);

/// How a cached copy is answered: as the entry's own URL (offline, or when
/// the origin cannot be reached), or as the proxy's view of the entry for
/// `url` (CopyView.h).
struct CopyServing {
    bool view = false;
    std::string url;
    /// Answered because the origin could not be reached: said in the head.
    bool stale = false;
    std::string viewKey; // for the view: the run's key the views of other entries are under
};

/// Content-Type and the other stored fields a cached copy is served with.
void SetCopyFields(const CachedCopy& copy, boost::beast::http::fields& fields,
                   const CopyServing& serving);

/// The whole answer for a copy read at once (one small enough, or an HTML
/// page shown in the view); null when the copy could not be read.
std::shared_ptr<TextResponse> WholeCopyAnswer(CachedCopy& copy, const CopyServing& serving,
                                              unsigned version, bool head, bool keepAlive);

/// The answer for a copy whose body is in memory, its body pointing into
/// the copy (which must outlive the write): nothing is copied.
std::shared_ptr<KeptResponse> KeptBytesAnswer(const CachedCopy& copy, const CopyServing& serving,
                                              unsigned version, bool head, bool keepAlive);

/// True when the view rewrites the copy (an unencoded HTML page or style
/// sheet).
bool ViewRewrites(const CachedCopy& copy);
/// Whether the copy is an HTML page kept without a content encoding.
bool IsPlainHtml(const CachedCopy& copy);

/// The head of a forwarded response: end-to-end fields, and its body
/// framed by length, by chunks (HTTP/1.1 clients) or by closing the
/// connection (`keepAlive` is cleared then). True when no body follows.
bool PrepareForwardedHead(const ResponseHead& head, StreamedResponse& out, bool headRequest,
                          bool& keepAlive);

} // namespace proxy
