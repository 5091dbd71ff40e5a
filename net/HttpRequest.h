// SPDX-License-Identifier: Apache-2.0
// CHttpRequest: one HTTP/1.0 GET exchange over the module's session.
//
// The crawler makes one per URL: it fills the URL parts (ParseURL), the
// header block and the open flags, sends, then reads the status and
// filtered headers, the URL the request ended at after redirects, and the
// whole body in pieces of 4096 bytes. The request owns its two handles and
// closes them when the body ends, on any failure and when destroyed.
#pragma once

#include "foundation/VELMemBuf.h"
#include "foundation/VELString.h"
#include "platform/inet/WinInet.h"

#include <cstdint>
#include <functional>

class CHttpRequest {
  public:
    /// Flags until the crawler sets its own: no cache write, no cookies, no
    /// authentication, redirects across http and https, hyperlink.
    static constexpr DWORD kDefaultFlags = 0x040CC400;
    static constexpr DWORD kReadSize = 4096;

    CHttpRequest();
    ~CHttpRequest();
    CHttpRequest(const CHttpRequest&) = delete;
    CHttpRequest& operator=(const CHttpRequest&) = delete;

    /// Connects and sends the request. Returns 1 with both handles open for
    /// reading the response, or 0 with the reason in the last error (both
    /// handles closed, the body empty).
    BOOL SendRequest();
    void CloseHandles();

    // SendRequest and ReadData in their asynchronous form: nothing waits.
    // `ready` is called on the library's own thread whenever AdvanceSend or
    // TryReadData may go further (inet::BeginSendRequest says how).

    /// Connects and sends the request without waiting; FALSE as SendRequest.
    BOOL BeginSend(std::function<void()> ready);
    /// 0 once the response's head is there (ReadResponseHeaders may read
    /// it), ERROR_IO_PENDING while it is not, else the reason SendRequest
    /// would fail with (both handles then closed). An unknown authority is
    /// forgiven as SendRequest forgives it, by sending once more.
    DWORD AdvanceSend();
    /// ReadData without waiting: ERROR_IO_PENDING when no byte has come;
    /// else 0 (`*count` 0 at the end) or the failure, handles closed.
    DWORD TryReadData(DWORD* count);

    /// The status (500 until known) and the response's header lines, without
    /// the status line, "ETag", "Connection", "Server" and "Content-Length",
    /// and with one "Content-Type" holding only the media type ("text/html"
    /// when the response had none).
    BOOL ReadResponseHeaders(DWORD* status, CVELString& headers);
    /// The URL the request ended at after the redirects the library followed.
    BOOL QueryFinalURL(CVELString& url);
    /// Appends up to 4096 body bytes to `m_response`; `*count` 0 with result 1
    /// means the body is complete (the handles are then closed, unless its
    /// end is held).
    BOOL ReadData(DWORD* count);

    /// Holds (or lets go) what reading the body to its end does: the cache
    /// entry written and the request told complete, so that a body read
    /// early takes effect when its reader comes to it. Holding keeps the
    /// handles open past the end; letting go after the end closes them.
    /// Returns 0 with the reason in the last error when the library refused.
    BOOL HoldBodyEnd(bool hold);

    BOOL m_bSecure;
    CVELString m_headers;
    INTERNET_PORT m_nPort;
    CVELString m_host;
    CVELString m_verb;
    CVELString m_path;
    CVELMemBuf m_response;
    HINTERNET m_hRequest;
    HINTERNET m_hConnect;
    DWORD m_dwFlags;
    /// The body length the response announced ("Content-Length"), or -1
    /// when it announced none; read by ReadResponseHeaders before that
    /// line is dropped from the caller's block.
    std::int64_t m_nContentLength = -1;

  private:
    bool m_bEndHeld = false;    // HoldBodyEnd(true) is in force
    bool m_bEndReached = false; // the body's end was read while held

    std::function<void()> m_ready; // of the asynchronous send, for its resend
    bool m_bResent = false;        // the asynchronous send went once more

    /// The open flags of the coming send, its block cleaned; FALSE when
    /// the URL parts are missing.
    BOOL Prepare(DWORD& flags);
    BOOL Open(DWORD flags);
    BOOL Send();
    /// Allows an unknown certificate authority on the request handle.
    BOOL ForgiveUnknownAuthority();
    /// Begins the asynchronous send.
    BOOL Begin();
    /// After the asynchronous send failed with the last error: begins it
    /// once more when that forgives an unknown authority.
    BOOL Resend();
    /// Whether a refusal is one of an unknown authority that may be forgiven.
    bool MayForgive(DWORD error) const { return m_bSecure && error == ERROR_INTERNET_INVALID_CA; }
    /// Closes both handles and returns `error`, the last error too.
    DWORD FailAsync(DWORD error);
    /// Appends what a read gave to the body, or closes on its end.
    void TookData(std::int32_t length, DWORD count);
    /// The header lines of the raw header text, `bytes` long.
    BOOL ReadRawHeaders(CVELString& headers, DWORD bytes);
};
