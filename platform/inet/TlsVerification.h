// SPDX-License-Identifier: Apache-2.0
// Certificate checks with per-request forgiveness.
//
// OpenSSL verifies the server's chain as usual; a verify callback forgives
// exactly the problems the request's security flags allow (unknown
// authority, bad dates, wrong usage) and remembers the first one it did not
// forgive, so a failed handshake can be reported as the matching error.
// Host-name checks are libcurl's, switched off when the name is ignored.
#pragma once

#include "platform/kernel/WinTypes.h"

#include <curl/curl.h>

namespace inet {

/// The security flags that relax certificate checks; requests whose
/// leniency differs never share a connection.
DWORD TlsLeniency(DWORD securityFlags);

/// Per-transfer state of the verify callback. Must outlive the handshake.
struct TlsCheck {
    DWORD securityFlags = 0;
    int refusedError = 0; // first X509_V_ERR_* value not forgiven, 0 if none
};

/// Points `easy` at the system's trusted authorities with the checks above.
void ApplyTlsPolicy(CURL* easy, TlsCheck* check);

/// The last-error value for a transfer that failed with `result`, when the
/// failure comes from the TLS layer; 0 otherwise.
DWORD TlsFailureError(CURLcode result, const TlsCheck& check);

} // namespace inet
