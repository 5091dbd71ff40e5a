// SPDX-License-Identifier: Apache-2.0
// One request end to end against local servers: what goes on the wire, what
// comes back, and the two-call size protocols. How CHttpRequest reads
// status, headers, final URL and body through these calls is proven by its
// own tests.
#include "platform/inet/WinInet.h"
#include "platform/kernel/LastError.h"
#include "support/InetTestSupport.h"
#include "support/TestServer.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace testsupport;

namespace {

// Sizes are in bytes and count the terminator; the text's length comes back
// in bytes for a header query and in units for the URL option. That the
// texts read back whole is proven through CHttpRequest.
TEST(HttpExchange, TextResultsUseTheTwoCallSizeProtocol) {
    TestServer server;
    server.Page("/hello", "hello world", "text/plain");
    const Handle session = OpenSession();
    const Request request = OpenRequest(session.Get(), server.Port(), u"/hello#top", 0);
    ASSERT_TRUE(Send(request));
    DWORD length = 0;
    EXPECT_FALSE(HttpQueryInfoW(request.Get(), HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &length, 0));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    const DWORD needed = length;
    std::u16string text(needed / 2, u'\0');
    length = needed - 2; // one unit short: the terminator needs room too
    EXPECT_FALSE(
        HttpQueryInfoW(request.Get(), HTTP_QUERY_RAW_HEADERS_CRLF, text.data(), &length, 0));
    EXPECT_EQ(length, needed);
    ASSERT_TRUE(
        HttpQueryInfoW(request.Get(), HTTP_QUERY_RAW_HEADERS_CRLF, text.data(), &length, 0));
    EXPECT_EQ(length, needed - 2);
    length = 0;
    EXPECT_FALSE(InternetQueryOptionW(request.Get(), INTERNET_OPTION_URL, nullptr, &length));
    std::u16string url(length, u'\0'); // more than enough: the size is in bytes
    ASSERT_TRUE(InternetQueryOptionW(request.Get(), INTERNET_OPTION_URL, url.data(), &length));
    url.resize(length); // units this time
    EXPECT_EQ(A(url), server.Origin() + "/hello");
}

// The object name is percent-encoded (a space, a control unit, an ANSI letter,
// an ANSI symbol above 0x7F, a character the code page lacks; an existing
// escape stays, the fragment goes); the caller's headers go out as given,
// but a line holding a bare CR or LF is never sent; reply header lines read
// back as "Name: value", unspaced and folded ones too. A reply that is not
// HTTP (12152) is proven through the crawl's report.
TEST(HttpExchange, WhatGoesOnTheWireAndHowRepliesReadBack) {
    RawServer server(
        "HTTP/1.0 200 OK\r\nContent-Type:image/png\r\nX-Folded: a\r\n  b\r\n\tc \r\n\r\n");
    const Handle session = OpenSession();
    const Request request =
        OpenRequest(session.Get(), server.Port(), u"/a b/\u0001\u00e9\u20ac\u4e2d?q=1%20x#frag", 0);
    ASSERT_TRUE(Send(request, u"X-A: 1\nX-Injected: 2\r\nX-B: 3\rX-Also: 4\r\n"
                              u"User-agent: Crawler/1.0\r\nX-Empty: \r\nHost: h.test\r\n"));
    EXPECT_EQ(RawHeadersOf(request.Get()),
              "HTTP/1.0 200 OK\r\nContent-Type: image/png\r\nX-Folded: a b c\r\n\r\n");
    const std::string head = server.Heads().at(0);
    EXPECT_TRUE(head.starts_with("GET /a%20b/%01%E9%80%E4%B8%AD?q=1%20x HTTP/1.0\r\n")) << head;
    for (const char* line :
         {"\r\nUser-agent: Crawler/1.0\r\n", "\r\nX-Empty:\r\n", "\r\nHost: h.test\r\n",
          "\r\nAccept: */*\r\n", "\r\nConnection: Keep-Alive\r\n"}) {
        EXPECT_NE(head.find(line), std::string::npos) << line << " missing from\n" << head;
    }
    for (const char* absent : {"X-A", "X-Injected", "X-B", "X-Also", "Host: 127"}) {
        EXPECT_EQ(head.find(absent), std::string::npos) << head;
    }
}

TEST(HttpExchange, PreconfiguredAccessGoesThroughTheProxyFromTheEnvironment) {
    RawServer proxy("HTTP/1.0 200 OK\r\nContent-Length: 7\r\n\r\nproxied");
    ::setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(proxy.Port())).c_str(), 1);
    const Handle preconfigured = OpenSession();
    const Request request = OpenRequest(preconfigured.Get(), 80, u"/via", 0, u"origin.invalid");
    const bool sent = Send(request);
    ::unsetenv("http_proxy");
    ASSERT_TRUE(sent) << GetLastError();
    EXPECT_EQ(ReadBody(request.Get()), "proxied");
    EXPECT_TRUE(proxy.Heads().at(0).starts_with("GET http://origin.invalid/via HTTP/1.0\r\n"));
}

/// What a session's status callback heard, one line per report.
std::vector<std::string> g_heard;

void Listen(HINTERNET, std::uintptr_t context, DWORD status, void* info, DWORD length) {
    std::string line = std::to_string(status) + (context == 0 ? "" : " context?");
    if (status == INTERNET_STATUS_SENDING_REQUEST || status == INTERNET_STATUS_REDIRECT) {
        line.append(" ").append(A(std::u16string_view(static_cast<const char16_t*>(info),
                                                      length / sizeof(char16_t) - 1)));
    } else if (status == INTERNET_STATUS_RESPONSE_RECEIVED) {
        line += " " + std::to_string(*static_cast<const DWORD*>(info));
    } else if (status == INTERNET_STATUS_REQUEST_COMPLETE) {
        const auto* result = static_cast<const INTERNET_ASYNC_RESULT*>(info);
        line += " " + std::to_string(result->dwResult) + " " + std::to_string(result->dwError);
    }
    g_heard.push_back(line);
}

TEST(HttpExchange, TheSessionsStatusCallbackHearsEveryRequest) {
    TestServer server;
    server.Page("/hello", "hello world");
    const Handle session = OpenSession();
    EXPECT_EQ(InternetSetStatusCallbackW(session.Get(), &Listen), nullptr);
    g_heard.clear();
    Fetch(session.Get(), server.Port(), u"/hello#top", 0);
    const int port = ClosedPort();
    Fetch(session.Get(), port, u"/", 0);
    const std::string closed = "http://127.0.0.1:" + std::to_string(port) + "/";
    EXPECT_EQ(g_heard, (std::vector<std::string>{"30 " + server.Origin() + "/hello", "41 11",
                                                 "100 1 0", "30 " + closed, "100 0 12029"}));
    EXPECT_EQ(InternetSetStatusCallbackW(session.Get(), nullptr), &Listen);
    const Request request = OpenRequest(session.Get(), server.Port(), u"/hello", 0);
    EXPECT_EQ(InternetSetStatusCallbackW(request.Get(), &Listen), INTERNET_INVALID_STATUS_CALLBACK);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
}

} // namespace
