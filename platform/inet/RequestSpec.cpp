#include "platform/inet/RequestSpec.h"

#include "platform/WinInet.h"

namespace inet {

DWORD InitialSecurityFlags(const RequestSpec& spec) {
    // The request flags and the security flags share these bit values.
    constexpr DWORD kShared =
        INTERNET_FLAG_IGNORE_CERT_CN_INVALID | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID |
        INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;
    return (spec.flags & kShared) | (spec.secure ? SECURITY_FLAG_SECURE : 0);
}

} // namespace inet
