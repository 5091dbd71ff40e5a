// SPDX-License-Identifier: Apache-2.0
// What a request handle fixes when it is opened: where it goes, what it
// asks for and its flags.
#pragma once

#include "platform/kernel/WinTypes.h"

#include <string>

namespace inet {

struct RequestSetup {
    bool secure = false;       // https (INTERNET_FLAG_SECURE)
    std::u16string host;       // as the caller named it
    unsigned port = 80;        // the scheme's default already filled in
    std::u16string objectName; // path, query and fragment, as given
    std::string verb = "GET";  // the method, a token ("GET", "HEAD", "POST", ...)
    bool head = false;         // "HEAD": the response has no body
    bool http10 = true;        // "HTTP/1.0" rather than "HTTP/1.1"
    DWORD flags = 0;           // the INTERNET_FLAG_* bits
    std::string acceptTypes;   // "Accept" value, empty for none
    std::string referrer;      // "Referer" value, empty for none
};

/// The security flags a request starts with: its certificate and redirect
/// ignore flags, and SECURITY_FLAG_SECURE for https.
DWORD InitialSecurityFlags(const RequestSetup& setup);

} // namespace inet
