// SPDX-License-Identifier: Apache-2.0
// Sending a request and reading its response.
#include "platform/inet/ApiResults.h"
#include "platform/inet/ConnectedState.h"
#include "platform/inet/HandleTypes.h"
#include "platform/inet/WinInet.h"
#include "platform/inet/WireText.h"
#include "platform/kernel/LastError.h"

#include <charconv>
#include <optional>

using namespace inet;

namespace {

/// The transfer of a request whose response head is there, or null with
/// the last error set.
HttpTransfer* ResponseOf(HINTERNET request) {
    auto* handle = FindHandleAs<RequestHandle>(request, HandleKind::Request);
    if (handle == nullptr) {
        return nullptr;
    }
    HttpTransfer* transfer = handle->Transfer();
    if (transfer == nullptr || !transfer->Head().Complete()) {
        SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
        return nullptr;
    }
    return transfer;
}

/// The header name for a query level that names one header, or null.
const char* HeaderNameOf(DWORD query) {
    switch (query) {
    case HTTP_QUERY_CONTENT_TYPE:
        return "Content-Type";
    case HTTP_QUERY_CONTENT_LENGTH:
        return "Content-Length";
    case HTTP_QUERY_DATE:
        return "Date";
    case HTTP_QUERY_LAST_MODIFIED:
        return "Last-Modified";
    case HTTP_QUERY_LOCATION:
        return "Location";
    default:
        return nullptr;
    }
}

/// The header list with each line ended by a zero instead of CR LF; the
/// empty line at the end leaves the closing double zero.
std::string ZeroSeparated(std::string raw) {
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') {
            out += '\0';
            ++i;
        } else {
            out += raw[i];
        }
    }
    return out;
}

/// The queried value as wire bytes; nullopt with the last error set.
std::optional<std::string> QueryValue(const ResponseHead& head, DWORD query, const void* buffer,
                                      DWORD* index) {
    switch (query) {
    case HTTP_QUERY_STATUS_CODE:
        return std::to_string(head.Status());
    case HTTP_QUERY_STATUS_TEXT:
        return std::string(head.Reason());
    case HTTP_QUERY_VERSION:
        return std::string(head.Version());
    case HTTP_QUERY_RAW_HEADERS_CRLF:
        return head.Raw();
    case HTTP_QUERY_RAW_HEADERS:
        return ZeroSeparated(head.Raw());
    default:
        break;
    }
    std::string name;
    if (const char* known = HeaderNameOf(query)) {
        name = known;
    } else if (query == HTTP_QUERY_CUSTOM && buffer != nullptr) {
        name = ToWireBytes(static_cast<const char16_t*>(buffer));
    } else {
        SetLastError(ERROR_HTTP_INVALID_QUERY_REQUEST);
        return std::nullopt;
    }
    const DWORD wanted = index != nullptr ? *index : 0;
    const std::optional<std::string_view> value = head.Header(name, wanted);
    if (!value) {
        SetLastError(ERROR_HTTP_HEADER_NOT_FOUND);
        return std::nullopt;
    }
    return std::string(*value);
}

BOOL ReturnNumber(const std::string& text, void* buffer, DWORD* length) {
    DWORD value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return FailWith(ERROR_HTTP_INVALID_QUERY_REQUEST);
    }
    return ReturnDword(value, buffer, length);
}

} // namespace

namespace inet {

DWORD RequestHandle::Send(std::string headerBlock, std::string body) {
    MakeTransfer(std::move(headerBlock), std::move(body));
    return m_transfer->Start();
}

DWORD RequestHandle::Begin(std::string headerBlock, std::string body, std::function<void()> ready) {
    MakeTransfer(std::move(headerBlock), std::move(body));
    return m_transfer->Begin(std::move(ready));
}

void RequestHandle::MakeTransfer(std::string headerBlock, std::string body) {
    m_transfer.reset();
    m_transfer = std::make_unique<HttpTransfer>(static_cast<InternetHandle*>(this), m_core, m_setup,
                                                Options(), m_securityFlags, std::move(headerBlock),
                                                std::move(body));
}

} // namespace inet

BOOL HttpSendRequestW(HINTERNET request, const char16_t* headers, DWORD headersLength,
                      void* optional, DWORD optionalLength) {
    auto* handle = FindHandleAs<RequestHandle>(request, HandleKind::Request);
    if (handle == nullptr) {
        return FALSE;
    }
    if (optional == nullptr && optionalLength != 0) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    if (IsOfflineByUser()) {
        return FailWith(ERROR_INTERNET_DISCONNECTED);
    }
    std::string body;
    if (optional != nullptr) {
        body.assign(static_cast<const char*>(optional), optionalLength);
    }
    const DWORD error =
        handle->Send(ToWireBytes(WideText(headers, headersLength)), std::move(body));
    return error == 0 ? TRUE : FailWith(error);
}

BOOL HttpQueryInfoW(HINTERNET request, DWORD infoLevel, void* buffer, DWORD* length, DWORD* index) {
    if (length == nullptr) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    const HttpTransfer* transfer = ResponseOf(request);
    if (transfer == nullptr) {
        return FALSE;
    }
    if ((infoLevel & ~(HTTP_QUERY_FLAG_NUMBER | 0xFFFFu)) != 0) {
        return FailWith(ERROR_HTTP_INVALID_QUERY_REQUEST);
    }
    const std::optional<std::string> value =
        QueryValue(transfer->Head(), infoLevel & 0xFFFFu, buffer, index);
    if (!value) {
        return FALSE;
    }
    const BOOL copied = (infoLevel & HTTP_QUERY_FLAG_NUMBER) != 0
                            ? ReturnNumber(*value, buffer, length)
                            : ReturnText(FromWireBytes(*value), buffer, length, true);
    const DWORD query = infoLevel & 0xFFFFu;
    if (copied && index != nullptr &&
        (HeaderNameOf(query) != nullptr || query == HTTP_QUERY_CUSTOM)) {
        ++*index;
    }
    return copied;
}

BOOL InternetReadFile(HINTERNET request, void* buffer, DWORD toRead, DWORD* read) {
    if (read == nullptr || (buffer == nullptr && toRead != 0)) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    *read = 0;
    auto* handle = FindHandleAs<RequestHandle>(request, HandleKind::Request);
    if (handle == nullptr) {
        return FALSE;
    }
    HttpTransfer* transfer = handle->Transfer();
    if (transfer == nullptr) {
        return FailWith(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    }
    const DWORD error = transfer->Read(static_cast<char*>(buffer), toRead, read);
    return error == 0 ? TRUE : FailWith(error);
}
