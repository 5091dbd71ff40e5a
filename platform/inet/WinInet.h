// SPDX-License-Identifier: Apache-2.0
// The internet library: HTTP sessions, requests and the URL cache.
//
// The core talks to the network and to the URL cache only through these
// calls. They keep the Windows internet library's names, numbers and calling
// rules (BOOL results, the reason of a failure in the thread's last error,
// two-call buffer sizing) so that the core reads the same on every platform.
// On Linux they run on libcurl and keep the cache in SQLite under
// $XDG_CACHE_HOME/dravik/ (default ~/.cache/dravik/).
//
// Every call is synchronous and blocks the calling thread until it ends or
// the handle's time-outs run out. Requests of one session may run on several
// threads at once (a crawl's pool of connections does): each thread keeps
// connections of its own, and the session's cookies are shared under a lock.
// One request handle is used by one thread at a time.
#pragma once

#include "platform/cache/UrlCache.h"
#include "platform/kernel/WinTypes.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

/// A session, connection or request handle. Opaque; released with
/// InternetCloseHandle.
using HINTERNET = void*;

// Access types for InternetOpenW.
constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG = 0; // proxies from http_proxy, https_proxy, no_proxy
constexpr DWORD INTERNET_OPEN_TYPE_DIRECT = 1;    // never a proxy
constexpr DWORD INTERNET_OPEN_TYPE_PROXY = 3;     // the proxy named in the call
constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY = 4;

constexpr DWORD INTERNET_SERVICE_HTTP = 3;
constexpr INTERNET_PORT INTERNET_INVALID_PORT_NUMBER = 0; // the scheme's default port
constexpr INTERNET_PORT INTERNET_DEFAULT_HTTP_PORT = 80;
constexpr INTERNET_PORT INTERNET_DEFAULT_HTTPS_PORT = 443;

// Request flags (HttpOpenRequestW). Flags not listed are accepted and ignored.
constexpr DWORD INTERNET_FLAG_RELOAD = 0x80000000;
constexpr DWORD INTERNET_FLAG_ASYNC = 0x10000000; // refused: every call is synchronous
constexpr DWORD INTERNET_FLAG_NO_CACHE_WRITE = 0x04000000;
constexpr DWORD INTERNET_FLAG_DONT_CACHE = INTERNET_FLAG_NO_CACHE_WRITE;
constexpr DWORD INTERNET_FLAG_SECURE = 0x00800000;
constexpr DWORD INTERNET_FLAG_KEEP_CONNECTION = 0x00400000;
constexpr DWORD INTERNET_FLAG_NO_AUTO_REDIRECT = 0x00200000;
constexpr DWORD INTERNET_FLAG_NO_COOKIES = 0x00080000;
constexpr DWORD INTERNET_FLAG_NO_AUTH = 0x00040000;
constexpr DWORD INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP = 0x00008000;
constexpr DWORD INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS = 0x00004000;
constexpr DWORD INTERNET_FLAG_IGNORE_CERT_DATE_INVALID = 0x00002000;
constexpr DWORD INTERNET_FLAG_IGNORE_CERT_CN_INVALID = 0x00001000;
constexpr DWORD INTERNET_FLAG_HYPERLINK = 0x00000400;
constexpr DWORD INTERNET_FLAG_PRAGMA_NOCACHE = 0x00000100;
constexpr DWORD INTERNET_FLAG_NEED_FILE = 0x00000010;
// This library's own: keep the response only as an HTTP cache would, private
// to one user or shared by several (see HttpCacheRules.h). Without either,
// every 200 response to a GET is kept.
constexpr DWORD INTERNET_FLAG_HTTP_CACHE_PRIVATE = 0x00000001;
constexpr DWORD INTERNET_FLAG_HTTP_CACHE_SHARED = 0x00000002;
// With INTERNET_FLAG_HTTP_CACHE_SHARED: the request is made for someone other
// than this machine's user, so a response that would be kept for that user
// alone (asked for with credentials, varying, to be revalidated) is not kept.
constexpr DWORD INTERNET_FLAG_HTTP_CACHE_FOR_OTHERS = 0x00000004;
// This library's own: the request is made for a client on another machine,
// so it may connect to no address of this machine (loopback, link-local,
// unspecified, one of its interfaces). The address checked is the one the
// connection uses, whatever the name resolved to before; a request that
// would use such a connection fails with ERROR_ACCESS_DENIED.
constexpr DWORD INTERNET_FLAG_NO_LOCAL_ADDRESSES = 0x00000008;

// Options (InternetSetOptionW, InternetQueryOptionW). Time-outs are in
// milliseconds. The connect time-out bounds each connection attempt (name
// lookup, TCP and TLS set-up), repeated up to the connect-retries count when
// the server cannot be reached. Once connected, the receive time-out bounds
// the wait for the response head and the data receive time-out each wait
// for body bytes. The send time-outs are kept and reported but never run
// out: a request is a header block that the socket takes at once. Receive
// time-outs of 0 set no limit; a connect time-out of 0 means 300 seconds.
constexpr DWORD INTERNET_OPTION_CONNECT_TIMEOUT = 2;
constexpr DWORD INTERNET_OPTION_CONNECT_RETRIES = 3;
constexpr DWORD INTERNET_OPTION_SEND_TIMEOUT = 5;
constexpr DWORD INTERNET_OPTION_RECEIVE_TIMEOUT = 6;
constexpr DWORD INTERNET_OPTION_DATA_SEND_TIMEOUT = 7;
constexpr DWORD INTERNET_OPTION_DATA_RECEIVE_TIMEOUT = 8;
constexpr DWORD INTERNET_OPTION_HANDLE_TYPE = 9;
constexpr DWORD INTERNET_OPTION_SECURITY_FLAGS = 31;
constexpr DWORD INTERNET_OPTION_URL = 34;
constexpr DWORD INTERNET_OPTION_CONNECTED_STATE = 50;
// On a session handle: the protocols its https requests offer beyond
// HTTP/1, as HTTP_PROTOCOL_FLAG_ bits. With HTTP_PROTOCOL_FLAG_HTTP2, a
// server that takes HTTP/2 serves the session's requests to it as streams
// of one connection. Set only.
constexpr DWORD INTERNET_OPTION_ENABLE_HTTP_PROTOCOL = 148;
constexpr DWORD HTTP_PROTOCOL_FLAG_HTTP2 = 0x2;
// An option of our own, on a request handle that has been sent: 1 holds
// what reading the body to its end does (the cache written, the request's
// completion told to the status callback) until the option is set to 0,
// which does it then. Closing the handle while it is held keeps nothing.
// A response can so be read early and take effect later. Set only.
constexpr DWORD INTERNET_OPTION_HOLD_BODY_END = 0x10001;
// An option of our own, on a request handle whose send is under way: set
// by the status callback as it hears INTERNET_STATUS_REDIRECT, it answers
// that next hop from the URL cache's entry for its URL (status 200 only),
// as if the server had sent it, instead of asking the network. Without
// such an entry the hop goes to the network as usual. Set only; any value.
constexpr DWORD INTERNET_OPTION_HOP_FROM_CACHE = 0x10002;
// An option of our own, on a request handle sent asynchronously (inet::
// BeginSendRequest): 1, set by the status callback as it hears
// INTERNET_STATUS_REDIRECT, holds that next hop; the request goes no
// further until the option is set to 0 and its owner advances it again.
// Refused with ERROR_INTERNET_INCORRECT_HANDLE_STATE on a request whose
// sender waits for it. Set only.
constexpr DWORD INTERNET_OPTION_HOLD_HOP = 0x10003;

// Values of INTERNET_OPTION_HANDLE_TYPE.
constexpr DWORD INTERNET_HANDLE_TYPE_INTERNET = 1;
constexpr DWORD INTERNET_HANDLE_TYPE_CONNECT_HTTP = 3;
constexpr DWORD INTERNET_HANDLE_TYPE_HTTP_REQUEST = 13;

// Bits of INTERNET_OPTION_SECURITY_FLAGS on a request handle.
constexpr DWORD SECURITY_FLAG_SECURE = 0x00000001;
constexpr DWORD SECURITY_FLAG_IGNORE_REVOCATION = 0x00000080;
constexpr DWORD SECURITY_FLAG_IGNORE_UNKNOWN_CA = 0x00000100;
constexpr DWORD SECURITY_FLAG_IGNORE_WRONG_USAGE = 0x00000200;
constexpr DWORD SECURITY_FLAG_IGNORE_CERT_CN_INVALID = 0x00001000;
constexpr DWORD SECURITY_FLAG_IGNORE_CERT_DATE_INVALID = 0x00002000;
constexpr DWORD SECURITY_FLAG_IGNORE_REDIRECT_TO_HTTPS = 0x00004000;
constexpr DWORD SECURITY_FLAG_IGNORE_REDIRECT_TO_HTTP = 0x00008000;

// The connected state (option 50, no handle).
constexpr DWORD INTERNET_STATE_CONNECTED = 0x00000001;
constexpr DWORD INTERNET_STATE_DISCONNECTED = 0x00000002;
constexpr DWORD INTERNET_STATE_DISCONNECTED_BY_USER = 0x00000010;
constexpr DWORD ISO_FORCE_DISCONNECTED = 0x00000001;

/// What InternetSetOptionW takes for option 50: the new state
/// (INTERNET_STATE_CONNECTED or INTERNET_STATE_DISCONNECTED_BY_USER) and
/// flags (ISO_FORCE_DISCONNECTED or 0). A query of option 50 gives the
/// state alone as a DWORD.
struct INTERNET_CONNECTED_INFO {
    DWORD dwConnectedState;
    DWORD dwFlags;
};

// Query levels for HttpQueryInfoW.
constexpr DWORD HTTP_QUERY_CONTENT_TYPE = 1;
constexpr DWORD HTTP_QUERY_CONTENT_LENGTH = 5;
constexpr DWORD HTTP_QUERY_DATE = 9;
constexpr DWORD HTTP_QUERY_LAST_MODIFIED = 11;
constexpr DWORD HTTP_QUERY_VERSION = 18;
constexpr DWORD HTTP_QUERY_STATUS_CODE = 19;
constexpr DWORD HTTP_QUERY_STATUS_TEXT = 20;
constexpr DWORD HTTP_QUERY_RAW_HEADERS = 21;
constexpr DWORD HTTP_QUERY_RAW_HEADERS_CRLF = 22;
constexpr DWORD HTTP_QUERY_LOCATION = 33;
constexpr DWORD HTTP_QUERY_CUSTOM = 65535;
constexpr DWORD HTTP_QUERY_FLAG_NUMBER = 0x20000000;

// Last-error values of the internet library.
constexpr DWORD ERROR_INTERNET_TIMEOUT = 12002;
constexpr DWORD ERROR_INTERNET_INVALID_URL = 12005;
constexpr DWORD ERROR_INTERNET_UNRECOGNIZED_SCHEME = 12006;
constexpr DWORD ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
constexpr DWORD ERROR_INTERNET_INVALID_OPTION = 12009;
constexpr DWORD ERROR_INTERNET_BAD_OPTION_LENGTH = 12010;
constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_TYPE = 12018;
constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_STATE = 12019;
constexpr DWORD ERROR_INTERNET_CANNOT_CONNECT = 12029;
constexpr DWORD ERROR_INTERNET_CONNECTION_ABORTED = 12030;
constexpr DWORD ERROR_INTERNET_CONNECTION_RESET = 12031;
constexpr DWORD ERROR_INTERNET_SEC_CERT_DATE_INVALID = 12037;
constexpr DWORD ERROR_INTERNET_SEC_CERT_CN_INVALID = 12038;
constexpr DWORD ERROR_INTERNET_HTTP_TO_HTTPS_ON_REDIR = 12039;
constexpr DWORD ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR = 12040;
constexpr DWORD ERROR_INTERNET_INVALID_CA = 12045;
constexpr DWORD ERROR_HTTP_HEADER_NOT_FOUND = 12150;
constexpr DWORD ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;
constexpr DWORD ERROR_HTTP_INVALID_QUERY_REQUEST = 12154;
constexpr DWORD ERROR_HTTP_REDIRECT_FAILED = 12156;
constexpr DWORD ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157;
constexpr DWORD ERROR_INTERNET_DISCONNECTED = 12163;
constexpr DWORD ERROR_INTERNET_SEC_INVALID_CERT = 12169;

// ---------------------------------------------------------------------------
// Sessions, connections and requests
// ---------------------------------------------------------------------------

/// Opens a session: its own cookie store, connection cache and options
/// (connect retries 5, time-outs 60 000 ms until set). `agent` (may be null)
/// becomes the User-Agent of requests whose header block has none.
/// INTERNET_FLAG_ASYNC is refused with ERROR_INVALID_PARAMETER.
[[nodiscard]] HINTERNET InternetOpenW(const char16_t* agent, DWORD accessType,
                                      const char16_t* proxy, const char16_t* proxyBypass,
                                      DWORD flags);

/// A connection handle for `server` and `port` (INTERNET_INVALID_PORT_NUMBER:
/// 80, or 443 for requests with INTERNET_FLAG_SECURE). Nothing goes on the
/// network yet. Only INTERNET_SERVICE_HTTP is supported; user name and
/// password are not used.
[[nodiscard]] HINTERNET InternetConnectW(HINTERNET session, const char16_t* server,
                                         INTERNET_PORT port, const char16_t* userName,
                                         const char16_t* password, DWORD service, DWORD flags,
                                         std::uintptr_t context);

/// A request handle. `verb` is the method: "GET" (or null), "HEAD",
/// "POST" or any other token but "CONNECT"; `version` "HTTP/1.0"
/// (or null) or "HTTP/1.1"; `acceptTypes` a null-ended list joined into the
/// "Accept" header. `objectName` is path, query and fragment as wide text;
/// see HttpSendRequestW for how it goes on the wire.
[[nodiscard]] HINTERNET HttpOpenRequestW(HINTERNET connect, const char16_t* verb,
                                         const char16_t* objectName, const char16_t* version,
                                         const char16_t* referrer,
                                         const char16_t* const* acceptTypes, DWORD flags,
                                         std::uintptr_t context);

/// Sends the request and waits for the headers of the final response.
///
/// `headers` is a block of "Name: value" lines separated by CR LF; its length
/// is in characters, or (DWORD)-1 up to its zero. A line holding a bare CR
/// or LF is never sent (it would split into two lines on the wire), nor is
/// one without a name. The other lines go out as given;
/// the library adds "Accept" from the accept types, "Host" unless the block
/// has one, and "Connection: Keep-Alive" for HTTP/1.0 unless the block has a
/// "Connection" line. `optional` (may be null) is the request body,
/// `optionalLength` bytes, sent with its Content-Length; the block should
/// give its Content-Type.
///
/// The object name goes on the wire with spaces, control bytes and bytes
/// above 0x7F percent-encoded and existing escapes left alone. Its units
/// become bytes through the ANSI code page; a unit the code page has no byte
/// for goes as the percent-encoded UTF-8 bytes of its character (never as a
/// "?", which would name another resource). Anything after a "#" is a
/// fragment and is not sent.
///
/// Redirects (301, 302, 303, 307, 308) are followed inside the library, at
/// most 20, unless INTERNET_FLAG_NO_AUTO_REDIRECT is given. A 303, and a
/// 301 or 302 after a POST, is followed with a GET without body; 307 and
/// 308 repeat the method and body. One more fails
/// with ERROR_HTTP_REDIRECT_FAILED, which here always means too many
/// redirects (a loop, as a rule); a Location that is no URL fails with
/// ERROR_INTERNET_INVALID_URL, one with another scheme than http or https
/// with ERROR_INTERNET_UNRECOGNIZED_SCHEME. A redirect from
/// http to https needs INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS (else 12039),
/// from https to http INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP (else 12040). A
/// redirect to another host does not carry the block's "Host", "Cookie"
/// and "Authorization" lines.
///
/// Certificates: an unknown authority fails with 12045 unless the security
/// flags (option 31) hold SECURITY_FLAG_IGNORE_UNKNOWN_CA; an expired or
/// not yet valid one with 12037 unless the date is ignored; a name mismatch
/// with 12038 unless the name is ignored. The request flags
/// INTERNET_FLAG_IGNORE_CERT_* are the initial security flags.
///
/// A reply that does not start with an HTTP status line fails with
/// ERROR_HTTP_INVALID_SERVER_RESPONSE.
///
/// While the user has set the library offline (option 50), every send fails
/// with ERROR_INTERNET_DISCONNECTED before it touches the network.
///
/// A send may be repeated on the same handle; it starts the exchange anew.
[[nodiscard]] BOOL HttpSendRequestW(HINTERNET request, const char16_t* headers, DWORD headersLength,
                                    void* optional, DWORD optionalLength);

/// Response information of the final response. With HTTP_QUERY_FLAG_NUMBER
/// the value is a DWORD (`*length` at least 4). Otherwise text: `*length` is
/// the buffer size in bytes; too small fails with ERROR_INSUFFICIENT_BUFFER
/// and sets the bytes needed (terminator included); success sets the bytes
/// written (terminator excluded). HTTP_QUERY_RAW_HEADERS_CRLF gives the
/// status line, the header lines and the closing empty line, each ending in
/// CR LF; each header line reads "Name: value", however the server spaced
/// it or folded it over lines. Named headers take `*index` (may be null)
/// for repeated headers.
[[nodiscard]] BOOL HttpQueryInfoW(HINTERNET request, DWORD infoLevel, void* buffer, DWORD* length,
                                  DWORD* index);

/// Reads up to `toRead` body bytes while they stream in; `*read` 0 with a
/// TRUE result means the body is complete. The library holds at most a small
/// bounded window of the body, whatever its size.
///
/// Reading the end of a 200 response to a GET (never another method)
/// stores it in the URL cache
/// unless the request has INTERNET_FLAG_NO_CACHE_WRITE, or one of the HTTP
/// cache flags and a head such a cache may not keep: under the requested
/// URL (see InternetQueryOptionW) and, after redirects, under the final URL
/// too, replacing older entries. The stored head of an https response read
/// with relaxed certificate checks is marked unverified (HttpCacheRules.h).
/// A small body is kept in the cache's index and has no local file until
/// RetrieveUrlCacheEntryFileW asks for one; a large one has its file at
/// once. INTERNET_FLAG_NEED_FILE asks for nothing more. A body abandoned
/// before its end, or cut short, is not stored. Failing to store (a full or
/// unwritable cache) does not fail the read: it is reported to the
/// session's status callback (INTERNET_STATUS_CACHE_WRITE_FAILED) and kept
/// as the calling thread's latest cache failure (GetLastUrlCacheFailure). A
/// small entry may wait a few milliseconds for the next commit of the
/// index; if that commit fails the report comes later, from the thread that
/// made the commit, and the failure is kept as that thread's latest.
[[nodiscard]] BOOL InternetReadFile(HINTERNET request, void* buffer, DWORD toRead, DWORD* read);

/// Releases a handle. A session's connection cache lives until its last
/// connection and request handles are closed too. Closing a session commits
/// the entries waiting for the index's next commit and returns once every
/// report of a failed commit has been made, except when called from a
/// status callback that is itself hearing such a report: that close is safe
/// and does not wait for the report it is part of.
BOOL InternetCloseHandle(HINTERNET handle);

/// Sets an option. DWORD options (time-outs, retries, security flags) take
/// `length` 4. Option 50 takes no handle and an INTERNET_CONNECTED_INFO.
/// Time-outs and retries set on a session or connection are inherited by the
/// handles opened from it afterwards.
[[nodiscard]] BOOL InternetSetOptionW(HINTERNET handle, DWORD option, void* buffer, DWORD length);

/// Queries an option. DWORD options need `*length` of at least 4. Option 34
/// is the URL a request ended at, without fragment: before any redirect
/// "http" or "https", "://", the host, ":port" unless it is the scheme's
/// default, and the object name as given; after redirects the target as
/// the server named it (resolved, unsafe bytes percent-encoded). It is text:
/// `*length` is the buffer size in bytes; too small fails with
/// ERROR_INSUFFICIENT_BUFFER and sets the bytes needed; success sets the
/// length in characters.
[[nodiscard]] BOOL InternetQueryOptionW(HINTERNET handle, DWORD option, void* buffer,
                                        DWORD* length);

// ---------------------------------------------------------------------------
// Status callbacks
//
// A session may have a status callback, which then hears of every request
// made through it: each is announced when it is sent, each redirect, the
// body bytes as the caller reads them, the end of the exchange, and each
// response the library could not store in the URL cache. The callback runs
// on the thread that made the call, inside that call; it may query the
// request handle it is given (HttpQueryInfoW, InternetQueryOptionW) but
// must not close it. The one exception is a late cache failure (an entry
// lost with a later commit of the index, see InternetReadFile): it is
// reported on the thread that made that commit, possibly the cache's own,
// and names a request handle that may be closed by then, so the callback
// must not query it. A callback may close a session handle in either case.
//
// Unlike the Windows library, which calls back only for handles opened
// with a non-zero context value, this library calls the session's callback
// for every request of the session, whatever its context (the crawl opens
// its requests with context 0), and only for requests: the session and
// connection handles make no reports. The callback is taken from the
// session when a request is sent, so one set before a run hears all of it.
// ---------------------------------------------------------------------------

using INTERNET_STATUS_CALLBACK = void (*)(HINTERNET handle, std::uintptr_t context, DWORD status,
                                          void* information, DWORD informationLength);

/// What InternetSetStatusCallbackW returns when it cannot set a callback.
inline const INTERNET_STATUS_CALLBACK INTERNET_INVALID_STATUS_CALLBACK =
    reinterpret_cast<INTERNET_STATUS_CALLBACK>(static_cast<std::intptr_t>(-1));

/// Sent: the request's URL (char16_t text, no fragment) as the information,
/// its length in bytes with the terminator. The Windows library passes no
/// information here; the URL is this library's addition.
constexpr DWORD INTERNET_STATUS_SENDING_REQUEST = 30;
/// Body bytes handed to the caller by one InternetReadFile: a DWORD.
constexpr DWORD INTERNET_STATUS_RESPONSE_RECEIVED = 41;
/// The exchange ended: the body was read to its end, or sending or reading
/// failed. The information is an INTERNET_ASYNC_RESULT. Sent once per
/// exchange, also by this synchronous library.
constexpr DWORD INTERNET_STATUS_REQUEST_COMPLETE = 100;
/// A redirect is followed: the new URL as char16_t text.
constexpr DWORD INTERNET_STATUS_REDIRECT = 110;
/// This library's own: a response that should have gone to the URL cache
/// could not be stored there. The information is a const UrlCacheFailure*
/// (platform/cache/CacheFailure.h) naming the URL, the file or folder, the
/// Windows error and the system's reason. Sent before
/// INTERNET_STATUS_REQUEST_COMPLETE; the read itself still succeeds.
constexpr DWORD INTERNET_STATUS_CACHE_WRITE_FAILED = 0x00010001;

struct INTERNET_ASYNC_RESULT {
    std::uintptr_t dwResult; ///< TRUE when the exchange completed, FALSE when it failed
    DWORD dwError;           ///< the last-error value of a failure, else 0
};

/// Sets the session's status callback (null removes it) and returns the one
/// it replaces. Only session handles take a callback; any other handle
/// gives INTERNET_INVALID_STATUS_CALLBACK with
/// ERROR_INTERNET_INCORRECT_HANDLE_TYPE.
INTERNET_STATUS_CALLBACK InternetSetStatusCallbackW(HINTERNET session,
                                                    INTERNET_STATUS_CALLBACK callback);

// ---------------------------------------------------------------------------
// Going online
// ---------------------------------------------------------------------------

/// The question a front end asks its user before the library leaves the
/// offline state: true to go online. `url` is the address that needs the
/// network.
using GoOnlinePrompt = std::function<bool(const char16_t* url)>;

/// Installs the prompt (an empty function removes it).
void SetGoOnlinePrompt(GoOnlinePrompt prompt);

/// TRUE when the library is online: at once when it is not offline by the
/// user's choice, else when the prompt agrees (the offline state is then
/// cleared for every process). A declined prompt, or none installed, gives
/// FALSE with ERROR_CANCELLED.
[[nodiscard]] BOOL InternetGoOnlineW(const char16_t* url, HWND parent, DWORD flags);
