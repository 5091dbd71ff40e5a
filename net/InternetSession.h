// SPDX-License-Identifier: Apache-2.0
// The one internet session of the module.
//
// Opened when the module starts, with the time-outs every request of a crawl
// lives by, and closed when it ends. Requests never open sessions of their
// own.
#pragma once

#include "platform/inet/WinInet.h"

extern HINTERNET g_hInternet;

constexpr DWORD kConnectTimeoutSeconds = 45;
constexpr DWORD kTransferTimeoutSeconds = 60;

/// Opens `g_hInternet` and sets its retry count and time-outs. Returns 1 on
/// success, 0 when the session or any option could not be set (a session
/// already opened stays open until CloseInternetSession).
BOOL OpenInternetSession();

/// A session of its own, with the same options as the module's, for a
/// thread that needs the network beside the crawl. Null with the last error
/// set when the session or an option could not be set. The caller closes it.
HINTERNET OpenCrawlLikeSession();

/// Whether `session`'s https requests offer HTTP/2. Returns 0 with the last
/// error set when the session does not take the choice.
BOOL OfferHttp2(HINTERNET session, BOOL offer);

/// Closes `g_hInternet` when it is open.
void CloseInternetSession();

/// The accept types of every request: "*/*" and the null end mark.
extern const char16_t* const g_acceptTypes[2];
