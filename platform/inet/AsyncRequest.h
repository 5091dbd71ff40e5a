// SPDX-License-Identifier: Apache-2.0
// The asynchronous form of a request handle's send and reads: the request
// goes out and its caller returns at once; the session's engine tells the
// caller, on its own thread, whenever the request may go further. A crawl
// so keeps many requests under way with no thread waiting for any of them.
// Results, errors, status callbacks and cache writes are those of
// HttpSendRequestW and InternetReadFile on the same handle.
#pragma once

#include "platform/inet/WinInet.h"

#include <functional>

namespace inet {

/// HttpSendRequestW's asynchronous form (a request without a body): sends
/// and returns at once. `ready` is called on the library's own thread, with
/// no lock held, whenever AdvanceRequest or TryReadFile may go further
/// (possibly before this returns), and at least four times a second
/// meanwhile. It may close the handle; closing it elsewhere waits for a
/// `ready` call under way, so no lock `ready` takes may then be held.
/// FALSE with the last error when the request could not be sent.
BOOL BeginSendRequest(HINTERNET request, const char16_t* headers, DWORD headersLength,
                      std::function<void()> ready);

/// How far a request begun so has come: 0 once its final response's head
/// is there (HttpQueryInfoW then answers), ERROR_IO_PENDING while it is
/// not, else the failure HttpSendRequestW would have given. A redirect is
/// heard by the status callback here, on the calling thread.
DWORD AdvanceRequest(HINTERNET request);

/// InternetReadFile's asynchronous form: ERROR_IO_PENDING, with `*read` 0,
/// when no byte has come yet; otherwise as InternetReadFile, with 0 for
/// success and the failure's error otherwise.
DWORD TryReadFile(HINTERNET request, void* buffer, DWORD toRead, DWORD* read);

} // namespace inet
