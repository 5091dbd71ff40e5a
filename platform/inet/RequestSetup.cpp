// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/RequestSetup.h"

#include "platform/inet/WinInet.h"

namespace inet {

DWORD InitialSecurityFlags(const RequestSetup& setup) {
    // The request flags and the security flags share these bit values.
    constexpr DWORD kShared =
        INTERNET_FLAG_IGNORE_CERT_CN_INVALID | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID |
        INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;
    return (setup.flags & kShared) | (setup.secure ? SECURITY_FLAG_SECURE : 0);
}

} // namespace inet
