// SPDX-License-Identifier: Apache-2.0
// The options every handle carries: connect retries and time-outs.
//
// A connection copies its session's options when it is opened, and a request
// copies its connection's, so a change affects the handles opened after it.
#pragma once

#include "platform/kernel/WinTypes.h"

namespace inet {

struct HandleOptions {
    DWORD connectRetries = 5;
    DWORD connectTimeoutMs = 60000;
    DWORD sendTimeoutMs = 60000;
    DWORD receiveTimeoutMs = 60000;
    DWORD dataSendTimeoutMs = 60000;
    DWORD dataReceiveTimeoutMs = 60000;

    /// The field for a time-out or retry option number, or null.
    DWORD* Field(DWORD option);
};

} // namespace inet
