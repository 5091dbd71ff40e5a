// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/TransferErrors.h"

#include "platform/inet/WinInet.h"
#include "platform/kernel/LastError.h"

namespace inet {

DWORD ErrorFromTransfer(CURLcode result, const TlsCheck& tls) {
    if (const DWORD tlsError = TlsFailureError(result, tls); tlsError != 0) {
        return tlsError;
    }
    switch (result) {
    case CURLE_OK:
        return ERROR_SUCCESS;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT:
        return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_OPERATION_TIMEDOUT:
        return ERROR_INTERNET_TIMEOUT;
    case CURLE_URL_MALFORMAT:
        return ERROR_INTERNET_INVALID_URL;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_GOT_NOTHING:
    case CURLE_UNSUPPORTED_PROTOCOL: // only http and https are asked for: a reply without
                                     // an HTTP status line (HTTP/0.9) ends up here
        return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_PARTIAL_FILE:
        return ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
        return ERROR_INTERNET_CONNECTION_RESET;
    case CURLE_OUT_OF_MEMORY:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return ERROR_INTERNET_INTERNAL_ERROR;
    }
}

bool IsConnectFailure(CURLcode result) {
    // libcurl's only time limit on our transfers is the connect time-out;
    // waits after the connection stands are timed by the transfer itself.
    return result == CURLE_COULDNT_CONNECT || result == CURLE_OPERATION_TIMEDOUT;
}

} // namespace inet
