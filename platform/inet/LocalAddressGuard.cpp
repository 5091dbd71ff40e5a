// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/LocalAddressGuard.h"

#include "platform/inet/LocalAddresses.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdlib>

namespace inet {

namespace {

/// The text of a socket address, "" when it is of no IP family.
std::string AddressText(const sockaddr* address) {
    char text[INET6_ADDRSTRLEN] = {};
    const void* raw = nullptr;
    if (address->sa_family == AF_INET) {
        raw = &reinterpret_cast<const sockaddr_in*>(address)->sin_addr;
    } else if (address->sa_family == AF_INET6) {
        raw = &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
    }
    return raw != nullptr && ::inet_ntop(address->sa_family, raw, text, sizeof text) != nullptr
               ? std::string(text)
               : std::string();
}

/// True when `host` resolves to some address of this machine.
bool ResolvesToThisMachine(const std::string& host) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) {
        return false; // the proxy fails the request the same way
    }
    bool local = false;
    for (const addrinfo* a = found; a != nullptr && !local; a = a->ai_next) {
        local = IsThisMachinesAddress(AddressText(a->ai_addr));
    }
    ::freeaddrinfo(found);
    return local;
}

/// Whether libcurl sends a request of this scheme through a proxy: one
/// given to the session, or, for the system's settings, one named by the
/// environment as libcurl reads it. (Hosts it exempts are taken as
/// proxied too: their names are then checked before the request goes.)
bool UsesProxy(const ProxySettings& proxy, bool secure) {
    if (proxy.accessType == INTERNET_OPEN_TYPE_PROXY) {
        return true;
    }
    if (proxy.accessType != INTERNET_OPEN_TYPE_PRECONFIG &&
        proxy.accessType != INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY) {
        return false;
    }
    for (const char* name : {secure ? "https_proxy" : "http_proxy", secure ? "HTTPS_PROXY" : "",
                             "all_proxy", "ALL_PROXY"}) {
        const char* value = *name != '\0' ? std::getenv(name) : nullptr;
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

} // namespace

bool LocalAddressGuard::Prepare(CURL* easy, const ProxySettings& proxy, const std::string& host,
                                bool secure) {
    m_viaProxy = UsesProxy(proxy, secure);
    if (m_viaProxy) {
        m_refused = ResolvesToThisMachine(host);
        return !m_refused;
    }
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, OpenSocket);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, this);
    return true;
}

bool LocalAddressGuard::Admit(const char* primaryIp) {
    if (m_viaProxy) {
        return true;
    }
    if (IsThisMachinesAddress(primaryIp != nullptr ? primaryIp : "")) {
        m_refused = true;
        return false;
    }
    return true;
}

curl_socket_t LocalAddressGuard::OpenSocket(void* self, curlsocktype, curl_sockaddr* address) {
    if (IsThisMachinesAddress(AddressText(&address->addr))) {
        static_cast<LocalAddressGuard*>(self)->m_refused = true;
        return CURL_SOCKET_BAD; // libcurl tries the name's next address
    }
    return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

} // namespace inet
