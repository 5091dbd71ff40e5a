// SPDX-License-Identifier: Apache-2.0
// Where the browser panel meets the proxy: an HTML page that passes the
// proxy (forwarded, relayed from a --direct host or served from the cache)
// and holds the control's <object> gets the panel in its place, and the
// panel's own requests under /panel/ are answered. The panel itself is
// host/browser's.
//
// A page is seen whole: an HTML response that would stream is collected
// first (up to kPanelPageLimit; a larger one streams as it is). Every other
// response, and every page without the control, passes byte for byte.
#pragma once

#include "host/browser/PanelHost.h"
#include "host/proxy/PageBudget.h"
#include "host/proxy/ProxyTarget.h"
#include "host/proxy/Responses.h"

#include <boost/beast/http/fields.hpp>

#include <cstdint>
#include <memory>
#include <string>

namespace proxy {

constexpr std::uint64_t kPanelPageLimit = std::uint64_t{8} * 1024 * 1024;

/// True for a request the browser makes to show a page (a document or a
/// frame navigation, or a client that does not say): only those get a
/// panel. A script's fetch() and other subresources pass unchanged, so no
/// page can make panels of another page's responses.
bool OpensAsDocument(const boost::beast::http::fields& request);

/// True for the head of a page the panel may go into: status 200, HTML,
/// not encoded, not announced larger than kPanelPageLimit.
bool MayHoldPanel(unsigned status, const boost::beast::http::fields& head);

/// Adds Sec-Fetch-Dest to the Vary of a page `head` the panel may go into,
/// when it goes out as it came: a browser that kept the page for a
/// script's fetch() must not show it as the page itself, without its panel.
void VaryByDestination(boost::beast::http::response_header<>& head);

/// Puts the panel into `response` when it is a page of `target` that holds
/// the control's object; `selfOrigin` is where the proxy serves the panel.
void PutPanelInResponse(TextResponse& response, const ProxyTarget& target,
                        const std::string& selfOrigin);

/// Gathers the body of a page that would stream, so that it is seen whole.
class PagePieces {
  public:
    /// Adds a piece; false once the page passes kPanelPageLimit or the
    /// proxy's budget of held pages has no room for it.
    bool Add(std::string_view piece);
    /// The bytes gathered so far, taken away.
    std::string Take() { return std::move(m_body); }
    /// The whole response: `head`'s fields, the body framed by its length.
    /// Its bytes stay counted in the budget until the response goes.
    std::shared_ptr<TextResponse> Whole(const boost::beast::http::response_header<>& head,
                                        bool keepAlive);

  private:
    std::string m_body;
    std::unique_ptr<HeldPageBytes> m_held = std::make_unique<HeldPageBytes>();
};

/// The answer to a panel request as the proxy sends it: never stored,
/// never readable from another origin.
std::shared_ptr<TextResponse> PanelAnswer(const PanelReply& reply, unsigned version, bool head,
                                          bool keepAlive);

} // namespace proxy
