// SPDX-License-Identifier: Apache-2.0
// Setting and querying options.
#include "platform/inet/ApiResults.h"
#include "platform/inet/ConnectedState.h"
#include "platform/inet/HandleTypes.h"
#include "platform/inet/WinInet.h"
#include "platform/inet/WireText.h"
#include "platform/kernel/LastError.h"

#include <cstring>

using namespace inet;

namespace {

BOOL SetConnectedState(const void* buffer, DWORD length) {
    if (buffer == nullptr || length < sizeof(INTERNET_CONNECTED_INFO)) {
        return FailWith(ERROR_INTERNET_BAD_OPTION_LENGTH);
    }
    INTERNET_CONNECTED_INFO info{};
    std::memcpy(&info, buffer, sizeof info);
    bool offline = false;
    if ((info.dwConnectedState & INTERNET_STATE_DISCONNECTED_BY_USER) != 0) {
        offline = true;
    } else if ((info.dwConnectedState & INTERNET_STATE_CONNECTED) == 0) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    return SetOfflineByUser(offline) ? TRUE : FailWith(ERROR_INTERNET_INTERNAL_ERROR);
}

DWORD HandleTypeOf(const InternetHandle& handle) {
    switch (handle.Kind()) {
    case HandleKind::Session:
        return INTERNET_HANDLE_TYPE_INTERNET;
    case HandleKind::Connect:
        return INTERNET_HANDLE_TYPE_CONNECT_HTTP;
    case HandleKind::Request:
        return INTERNET_HANDLE_TYPE_HTTP_REQUEST;
    }
    return 0;
}

std::u16string RequestUrl(const RequestHandle& request) {
    if (const HttpTransfer* transfer = request.Transfer()) {
        return transfer->FinalUrl();
    }
    const RequestSetup& setup = request.Setup();
    return RequestUrlText(setup.secure, setup.host, setup.port, setup.objectName);
}

RequestHandle* AsRequest(InternetHandle* handle) {
    if (handle->Kind() != HandleKind::Request) {
        SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        return nullptr;
    }
    return static_cast<RequestHandle*>(handle);
}

/// The exchange a DWORD option of our own acts on: that of a request handle
/// that has been sent. Null (with the last error set) for any other.
HttpTransfer* SentTransfer(InternetHandle* target, const void* buffer, DWORD length, DWORD& value) {
    if (buffer == nullptr || length != sizeof(DWORD)) {
        FailWith(ERROR_INTERNET_BAD_OPTION_LENGTH);
        return nullptr;
    }
    RequestHandle* request = AsRequest(target);
    if (request == nullptr) {
        return nullptr;
    }
    if (request->Transfer() == nullptr) {
        FailWith(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
        return nullptr;
    }
    std::memcpy(&value, buffer, sizeof value);
    return request->Transfer();
}

/// INTERNET_OPTION_HOLD_BODY_END, INTERNET_OPTION_HOP_FROM_CACHE and
/// INTERNET_OPTION_HOLD_HOP.
BOOL SetTransferOption(InternetHandle* target, DWORD option, const void* buffer, DWORD length) {
    DWORD value = 0;
    HttpTransfer* transfer = SentTransfer(target, buffer, length, value);
    if (transfer == nullptr) {
        return FALSE;
    }
    if (option == INTERNET_OPTION_HOLD_BODY_END) {
        transfer->HoldBodyEnd(value != 0);
    } else if (option == INTERNET_OPTION_HOLD_HOP) {
        if (!transfer->HoldHop(value != 0)) {
            return FailWith(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
        }
    } else {
        transfer->HopFromCache();
    }
    return TRUE;
}

BOOL EnableHttpProtocol(HINTERNET handle, const void* buffer, DWORD length) {
    auto* session = FindHandleAs<SessionHandle>(handle, HandleKind::Session);
    if (session == nullptr) {
        return FALSE;
    }
    if (buffer == nullptr || length != sizeof(DWORD)) {
        return FailWith(ERROR_INTERNET_BAD_OPTION_LENGTH);
    }
    DWORD value = 0;
    std::memcpy(&value, buffer, sizeof value);
    session->Core()->SetOffersHttp2((value & HTTP_PROTOCOL_FLAG_HTTP2) != 0);
    return TRUE;
}

} // namespace

BOOL InternetSetOptionW(HINTERNET handle, DWORD option, void* buffer, DWORD length) {
    if (option == INTERNET_OPTION_CONNECTED_STATE) {
        return SetConnectedState(buffer, length);
    }
    if (option == INTERNET_OPTION_ENABLE_HTTP_PROTOCOL) {
        return EnableHttpProtocol(handle, buffer, length);
    }
    InternetHandle* target = FindHandle(handle);
    if (target == nullptr) {
        return FALSE;
    }
    if (option == INTERNET_OPTION_HOLD_BODY_END || option == INTERNET_OPTION_HOP_FROM_CACHE ||
        option == INTERNET_OPTION_HOLD_HOP) {
        return SetTransferOption(target, option, buffer, length);
    }
    DWORD* field = target->Options().Field(option);
    if (field == nullptr && option != INTERNET_OPTION_SECURITY_FLAGS) {
        return FailWith(ERROR_INTERNET_INVALID_OPTION);
    }
    if (buffer == nullptr || length != sizeof(DWORD)) {
        return FailWith(ERROR_INTERNET_BAD_OPTION_LENGTH);
    }
    DWORD value = 0;
    std::memcpy(&value, buffer, sizeof value);
    if (field != nullptr) {
        *field = value;
        return TRUE;
    }
    RequestHandle* request = AsRequest(target);
    if (request == nullptr) {
        return FALSE;
    }
    request->SetSecurityFlags(value);
    return TRUE;
}

BOOL InternetQueryOptionW(HINTERNET handle, DWORD option, void* buffer, DWORD* length) {
    if (length == nullptr) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    if (option == INTERNET_OPTION_CONNECTED_STATE) {
        return ReturnDword(ConnectedStateValue(), buffer, length);
    }
    InternetHandle* target = FindHandle(handle);
    if (target == nullptr) {
        return FALSE;
    }
    if (const DWORD* field = target->Options().Field(option)) {
        return ReturnDword(*field, buffer, length);
    }
    if (option == INTERNET_OPTION_HANDLE_TYPE) {
        return ReturnDword(HandleTypeOf(*target), buffer, length);
    }
    if (option != INTERNET_OPTION_SECURITY_FLAGS && option != INTERNET_OPTION_URL) {
        return FailWith(ERROR_INTERNET_INVALID_OPTION);
    }
    const RequestHandle* request = AsRequest(target);
    if (request == nullptr) {
        return FALSE;
    }
    if (option == INTERNET_OPTION_SECURITY_FLAGS) {
        return ReturnDword(request->SecurityFlags(), buffer, length);
    }
    return ReturnText(RequestUrl(*request), buffer, length, false);
}
