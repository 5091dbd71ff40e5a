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

    BOOL Open(DWORD flags);
    BOOL Send();
    /// The header lines of the raw header text, `bytes` long.
    BOOL ReadRawHeaders(CVELString& headers, DWORD bytes);
};
