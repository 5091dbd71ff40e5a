// SPDX-License-Identifier: Apache-2.0
// Keeps a request made for a client on another machine
// (INTERNET_FLAG_NO_LOCAL_ADDRESSES) off every address of this machine.
//
// Without a proxy on the way, the address checked is the one connected to:
// each address libcurl is about to open a socket to (a refused one is never
// connected to, and the next address of the name is tried), and again the
// address of the connection a request is about to use, which may have been
// opened earlier for this machine's own user. Through a proxy the
// connection is the proxy's, so the target's name is resolved and checked
// before the request goes; the proxy resolves it again.
#pragma once

#include "platform/inet/SessionCore.h"

#include <curl/curl.h>

#include <string>

namespace inet {

class LocalAddressGuard {
  public:
    /// Sets up `easy`, a request to `host` (https when `secure`) under
    /// `proxy`. False when the request must not go: it goes through a proxy
    /// and `host` resolves to an address of this machine.
    [[nodiscard]] bool Prepare(CURL* easy, const ProxySettings& proxy, const std::string& host,
                               bool secure);
    /// Whether a request may use the connection to `primaryIp` (libcurl's
    /// text of the peer's address); a refusal is remembered.
    [[nodiscard]] bool Admit(const char* primaryIp);
    /// Some address was refused: a failure to connect means this machine.
    bool Refused() const { return m_refused; }

  private:
    static curl_socket_t OpenSocket(void* self, curlsocktype purpose, curl_sockaddr* address);

    bool m_viaProxy = false;
    bool m_refused = false;
};

} // namespace inet
