// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/HandleOptions.h"

#include "platform/inet/WinInet.h"

namespace inet {

DWORD* HandleOptions::Field(DWORD option) {
    switch (option) {
    case INTERNET_OPTION_CONNECT_RETRIES:
        return &connectRetries;
    case INTERNET_OPTION_CONNECT_TIMEOUT:
        return &connectTimeoutMs;
    case INTERNET_OPTION_SEND_TIMEOUT:
        return &sendTimeoutMs;
    case INTERNET_OPTION_RECEIVE_TIMEOUT:
        return &receiveTimeoutMs;
    case INTERNET_OPTION_DATA_SEND_TIMEOUT:
        return &dataSendTimeoutMs;
    case INTERNET_OPTION_DATA_RECEIVE_TIMEOUT:
        return &dataReceiveTimeoutMs;
    default:
        return nullptr;
    }
}

} // namespace inet
