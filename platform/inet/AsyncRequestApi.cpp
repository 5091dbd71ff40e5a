// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/AsyncRequest.h"

#include "platform/inet/ApiResults.h"
#include "platform/inet/ConnectedState.h"
#include "platform/inet/HandleTypes.h"
#include "platform/inet/WireText.h"
#include "platform/kernel/LastError.h"

namespace inet {

namespace {

/// The transfer a request handle's begun send made, or null with the
/// reason in `error`.
HttpTransfer* BegunTransfer(HINTERNET request, DWORD& error) {
    auto* handle = FindHandleAs<RequestHandle>(request, HandleKind::Request);
    if (handle == nullptr) {
        error = GetLastError();
        return nullptr;
    }
    if (handle->Transfer() == nullptr) {
        error = ERROR_INTERNET_INCORRECT_HANDLE_STATE;
    }
    return handle->Transfer();
}

} // namespace

BOOL BeginSendRequest(HINTERNET request, const char16_t* headers, DWORD headersLength,
                      std::function<void()> ready) {
    auto* handle = FindHandleAs<RequestHandle>(request, HandleKind::Request);
    if (handle == nullptr) {
        return FALSE;
    }
    if (IsOfflineByUser()) {
        return FailWith(ERROR_INTERNET_DISCONNECTED);
    }
    const DWORD error =
        handle->Begin(ToWireBytes(WideText(headers, headersLength)), {}, std::move(ready));
    return error == 0 ? TRUE : FailWith(error);
}

DWORD AdvanceRequest(HINTERNET request) {
    DWORD error = 0;
    HttpTransfer* transfer = BegunTransfer(request, error);
    return transfer == nullptr ? error : transfer->Advance();
}

DWORD TryReadFile(HINTERNET request, void* buffer, DWORD toRead, DWORD* read) {
    if (read == nullptr || (buffer == nullptr && toRead != 0)) {
        return ERROR_INVALID_PARAMETER;
    }
    *read = 0;
    DWORD error = 0;
    HttpTransfer* transfer = BegunTransfer(request, error);
    return transfer == nullptr ? error
                               : transfer->TryRead(static_cast<char*>(buffer), toRead, read);
}

} // namespace inet
