// The responses the proxy writes itself: short pages, cached copies, and
// the head of a forwarded response with its framing decided.
#pragma once

#include "host/proxy/CachedCopy.h"
#include "host/proxy/HeaderFields.h"

#include <boost/beast/http/buffer_body.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>

#include <memory>
#include <string>

namespace proxy {

using TextResponse = boost::beast::http::response<boost::beast::http::string_body>;
using StreamedResponse = boost::beast::http::response<boost::beast::http::buffer_body>;

/// A whole response of `type` with `body`, never cached by the browser;
/// for a HEAD request (`head`) the body's length without the body.
std::shared_ptr<TextResponse> TextAnswer(unsigned status, unsigned version, const std::string& type,
                                         std::string body, bool head, bool keepAlive);

/// Content-Type and the other stored fields a cached copy is served with.
void SetCopyFields(const CachedCopy& copy, boost::beast::http::fields& fields);

/// The whole answer for a copy small enough to read at once; null when
/// the copy could not be read.
std::shared_ptr<TextResponse> SmallCopyAnswer(CachedCopy& copy, unsigned version, bool head,
                                              bool keepAlive);

/// The head of a forwarded response: end-to-end fields, and its body
/// framed by length, by chunks (HTTP/1.1 clients) or by closing the
/// connection (`keepAlive` is cleared then). True when no body follows.
bool PrepareForwardedHead(const ResponseHead& head, StreamedResponse& out, bool headRequest,
                          bool& keepAlive);

} // namespace proxy
