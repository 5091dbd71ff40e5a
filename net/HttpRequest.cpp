// SPDX-License-Identifier: Apache-2.0
#include "net/HttpRequest.h"

#include "net/HeaderBlock.h"
#include "net/InternetSession.h"
#include "platform/inet/AsyncRequest.h"
#include "platform/kernel/LastError.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace {

constexpr DWORD kSecureFlags = INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID |
                               INTERNET_FLAG_IGNORE_CERT_CN_INVALID;

// Headers that never go out from the block: there is no body, and the
// library or the request itself supplies the others.
const char16_t* const kNeverSent[] = {u"Content-Length",  u"Content-Type", u"Connection",
                                      u"Accept-Encoding", u"Accept",       u"Referer"};

// Headers the crawler has no use for.
const char16_t* const kDroppedResponseHeaders[] = {u"ETag", u"Connection", u"Server",
                                                   u"Content-Length"};

/// The decimal "Content-Length" of the block, or -1 when it has none or
/// it is no plain number.
std::int64_t AnnouncedLength(const CVELString& headers) {
    CVELString text;
    if (!GetHeader(headers, u"Content-Length", text) || text.GetLength() == 0 ||
        text.GetLength() > 18) {
        return -1;
    }
    std::int64_t value = 0;
    for (std::int32_t i = 0; i < text.GetLength(); ++i) {
        const char16_t c = text.GetData()[i];
        if (c < u'0' || c > u'9') {
            return -1;
        }
        value = value * 10 + (c - u'0');
    }
    return value;
}

} // namespace

CHttpRequest::CHttpRequest()
    : m_bSecure(FALSE), m_nPort(80), m_verb(u"GET"), m_path(u"/"), m_hRequest(nullptr),
      m_hConnect(nullptr), m_dwFlags(kDefaultFlags) {}

CHttpRequest::~CHttpRequest() {
    CloseHandles();
}

void CHttpRequest::CloseHandles() {
    if (m_hRequest != nullptr) {
        InternetCloseHandle(m_hRequest);
        m_hRequest = nullptr;
    }
    if (m_hConnect != nullptr) {
        InternetCloseHandle(m_hConnect);
        m_hConnect = nullptr;
    }
}

BOOL CHttpRequest::Prepare(DWORD& flags) {
    m_response.Empty();
    if (m_path.GetLength() == 0 || m_host.GetLength() == 0) {
        return FALSE;
    }
    for (const char16_t* name : kNeverSent) {
        RemoveHeader(m_headers, name);
    }
    flags = m_dwFlags;
    if (m_bSecure) {
        flags |= kSecureFlags;
    }
    // A caller's own Cookie line replaces the library's cookie handling.
    CVELString cookie;
    if (!(flags & INTERNET_FLAG_NO_COOKIES) && GetHeader(m_headers, u"Cookie", cookie)) {
        flags |= INTERNET_FLAG_NO_COOKIES;
    }
    CloseHandles();
    return TRUE;
}

BOOL CHttpRequest::SendRequest() {
    DWORD flags = 0;
    if (!Prepare(flags)) {
        return FALSE;
    }
    if (Open(flags) && Send()) {
        return TRUE;
    }
    const DWORD error = GetLastError();
    CloseHandles();
    SetLastError(error);
    return FALSE;
}

BOOL CHttpRequest::BeginSend(std::function<void()> ready) {
    DWORD flags = 0;
    if (!Prepare(flags)) {
        return FALSE;
    }
    m_ready = std::move(ready);
    m_bResent = false;
    if (Open(flags) && (Begin() || Resend())) {
        return TRUE;
    }
    const DWORD error = GetLastError();
    CloseHandles();
    SetLastError(error);
    return FALSE;
}

DWORD CHttpRequest::AdvanceSend() {
    if (m_hRequest == nullptr) {
        return ERROR_INTERNET_INCORRECT_HANDLE_STATE;
    }
    const DWORD state = inet::AdvanceRequest(m_hRequest);
    if (state == 0 || state == ERROR_IO_PENDING) {
        return state;
    }
    SetLastError(state);
    return Resend() ? ERROR_IO_PENDING : FailAsync(GetLastError());
}

BOOL CHttpRequest::Begin() {
    return inet::BeginSendRequest(m_hRequest, m_headers.GetData(), m_headers.GetLength(), m_ready);
}

BOOL CHttpRequest::Resend() {
    // One resend is enough, as for SendRequest; a second refusal is final.
    if (!MayForgive(GetLastError()) || std::exchange(m_bResent, true) ||
        !ForgiveUnknownAuthority()) {
        return FALSE;
    }
    return Begin();
}

DWORD CHttpRequest::FailAsync(DWORD error) {
    CloseHandles();
    SetLastError(error);
    return error;
}

BOOL CHttpRequest::Open(DWORD flags) {
    m_hConnect = InternetConnectW(g_hInternet, m_host.GetData(), m_nPort, nullptr, nullptr,
                                  INTERNET_SERVICE_HTTP, 0, 0);
    if (m_hConnect == nullptr) {
        return FALSE;
    }
    m_hRequest = HttpOpenRequestW(m_hConnect, m_verb.GetData(), m_path.GetData(), u"HTTP/1.0",
                                  nullptr, g_acceptTypes, flags, 0);
    return m_hRequest != nullptr;
}

BOOL CHttpRequest::Send() {
    if (HttpSendRequestW(m_hRequest, m_headers.GetData(), m_headers.GetLength(), nullptr, 0)) {
        return TRUE;
    }
    if (!MayForgive(GetLastError()) || !ForgiveUnknownAuthority()) {
        return FALSE;
    }
    return HttpSendRequestW(m_hRequest, m_headers.GetData(), m_headers.GetLength(), nullptr, 0);
}

BOOL CHttpRequest::ForgiveUnknownAuthority() {
    // An unknown certificate authority is accepted: allow it on this handle
    // and send once more. A flag that could not be set leaves the request
    // refused as before, and the send after this says so.
    const DWORD refusal = GetLastError();
    DWORD security = 0;
    DWORD length = sizeof security;
    if (!InternetQueryOptionW(m_hRequest, INTERNET_OPTION_SECURITY_FLAGS, &security, &length)) {
        return FALSE;
    }
    security |= SECURITY_FLAG_IGNORE_UNKNOWN_CA;
    static_cast<void>(
        InternetSetOptionW(m_hRequest, INTERNET_OPTION_SECURITY_FLAGS, &security, sizeof security));
    SetLastError(refusal);
    return TRUE;
}

BOOL CHttpRequest::ReadResponseHeaders(DWORD* status, CVELString& headers) {
    *status = 500;
    headers.Empty();
    m_nContentLength = -1;
    if (m_hRequest == nullptr || m_hConnect == nullptr) {
        return FALSE;
    }
    DWORD length = sizeof *status;
    if (!HttpQueryInfoW(m_hRequest, HTTP_QUERY_FLAG_NUMBER | HTTP_QUERY_STATUS_CODE, status,
                        &length, nullptr)) {
        CloseHandles();
        return FALSE;
    }
    DWORD bytes = 0;
    if (HttpQueryInfoW(m_hRequest, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &bytes, nullptr)) {
        return TRUE; // the response has no header text at all: nothing to filter
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || !ReadRawHeaders(headers, bytes)) {
        CloseHandles();
        return FALSE;
    }
    CVELString type;
    if (GetHeader(headers, u"Content-Type", type)) {
        const std::int32_t semicolon = type.Find(u';');
        if (semicolon >= 0) {
            type.Truncate(semicolon);
            SetHeader(headers, u"Content-Type", type.GetData());
        }
    } else {
        // A response without a media type is taken as HTML.
        SetHeader(headers, u"Content-Type", u"text/html");
    }
    m_nContentLength = AnnouncedLength(headers);
    for (const char16_t* name : kDroppedResponseHeaders) {
        RemoveHeader(headers, name);
    }
    return TRUE;
}

BOOL CHttpRequest::ReadRawHeaders(CVELString& headers, DWORD bytes) {
    std::vector<char16_t> text(bytes / sizeof(char16_t) + 1, 0);
    if (!HttpQueryInfoW(m_hRequest, HTTP_QUERY_RAW_HEADERS_CRLF, text.data(), &bytes, nullptr)) {
        return FALSE;
    }
    SetHeaderLines(headers, text.data());
    return TRUE;
}

BOOL CHttpRequest::QueryFinalURL(CVELString& url) {
    DWORD length = 0;
    if (InternetQueryOptionW(m_hRequest, INTERNET_OPTION_URL, url.GetData(), &length) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return FALSE;
    }
    // The size comes in bytes; a URL too long for a string is one that
    // cannot be had.
    const std::int64_t units = std::int64_t{length} / sizeof(char16_t) + 1;
    if (units >= INT32_MAX) {
        return FALSE;
    }
    url.Reserve(static_cast<std::int32_t>(units));
    if (!InternetQueryOptionW(m_hRequest, INTERNET_OPTION_URL, url.GetData(), &length)) {
        url.Empty();
        return FALSE;
    }
    url.SetLength(static_cast<std::int32_t>(length));
    return TRUE;
}

BOOL CHttpRequest::ReadData(DWORD* count) {
    *count = 0;
    if (m_hRequest == nullptr) {
        return TRUE;
    }
    const std::int32_t length = m_response.GetLength();
    // Checked growth: a body that would pass the 32-bit length range throws
    // like one the heap cannot hold, instead of reading past its storage.
    m_response.ReserveExtra(static_cast<std::int32_t>(kReadSize));
    if (!InternetReadFile(m_hRequest, m_response.GetData() + length, kReadSize, count)) {
        *count = 0;
        m_response.SetLength(length);
        CloseHandles();
        return FALSE;
    }
    TookData(length, *count);
    return TRUE;
}

DWORD CHttpRequest::TryReadData(DWORD* count) {
    *count = 0;
    if (m_hRequest == nullptr) {
        return 0;
    }
    const std::int32_t length = m_response.GetLength();
    m_response.ReserveExtra(static_cast<std::int32_t>(kReadSize));
    const DWORD error =
        inet::TryReadFile(m_hRequest, m_response.GetData() + length, kReadSize, count);
    if (error != 0) {
        *count = 0;
        m_response.SetLength(length);
        return error == ERROR_IO_PENDING ? error : FailAsync(error);
    }
    TookData(length, *count);
    return 0;
}

void CHttpRequest::TookData(std::int32_t length, DWORD count) {
    m_response.SetLength(length + static_cast<std::int32_t>(count));
    if (count == 0) {
        if (m_bEndHeld) {
            m_bEndReached = true;
        } else {
            CloseHandles();
        }
    }
}

BOOL CHttpRequest::HoldBodyEnd(bool hold) {
    DWORD value = hold ? 1 : 0;
    if (m_hRequest == nullptr ||
        !InternetSetOptionW(m_hRequest, INTERNET_OPTION_HOLD_BODY_END, &value, sizeof value)) {
        return FALSE;
    }
    m_bEndHeld = hold;
    if (!hold && m_bEndReached) {
        m_bEndReached = false;
        CloseHandles();
    }
    return TRUE;
}
