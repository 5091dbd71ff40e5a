// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/CurlHandles.h"

#include <cstdlib>

namespace inet {

namespace {

bool InitializeCurl() {
    // libcurl (built on OpenSSL) also loads GnuTLS, for RTMP and LDAP,
    // which this library never uses; GnuTLS initializes itself as it loads
    // (its priorities, PKCS #11 modules) unless told not to. The first call
    // into libcurl loads it, so the variable is set only around that call,
    // and never passed on to a child process. GnuTLS users that do run
    // (librtmp, libldap) initialize it explicitly.
    const bool set = std::getenv("GNUTLS_NO_IMPLICIT_INIT") == nullptr &&
                     ::setenv("GNUTLS_NO_IMPLICIT_INIT", "1", 0) == 0;
    const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    if (set) {
        ::unsetenv("GNUTLS_NO_IMPLICIT_INIT");
    }
    return ready;
}

} // namespace

bool EnsureCurlReady() {
    // A function-local static runs its initializer once, even with threads.
    static const bool ready = InitializeCurl();
    return ready;
}

} // namespace inet
