// SPDX-License-Identifier: Apache-2.0
// The last-error value for a failed libcurl transfer.
#pragma once

#include "platform/inet/TlsVerification.h"
#include "platform/kernel/WinTypes.h"

#include <curl/curl.h>

namespace inet {

/// The internet library's error for `result`; `tls` tells certificate
/// problems apart. Never 0 for a failure.
DWORD ErrorFromTransfer(CURLcode result, const TlsCheck& tls);

/// True when `result` means the connection could not be made, so another
/// connection attempt may help.
bool IsConnectFailure(CURLcode result);

} // namespace inet
