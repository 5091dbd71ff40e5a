// One request end to end against local servers: what goes on the wire,
// what comes back, and the two-call size protocols.
#include "platform/inet/WinInet.h"
#include "platform/kernel/LastError.h"
#include "support/InetTestSupport.h"
#include "support/TestServers.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace testsupport;

namespace {

std::string Pattern(std::size_t size) {
    std::string body(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        body[i] = static_cast<char>('a' + i % 26);
    }
    return body;
}

class HttpExchangeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        server_.Routes().Get("/hello", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("X-Greeting", "yes");
            res.set_content("hello world", "text/plain");
        });
        server_.Routes().Get("/missing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_header("X-Reason", "gone");
            res.set_content("no such page", "text/html");
        });
        server_.Routes().Get(
            R"(/bytes/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
                res.set_content(Pattern(std::stoul(req.matches[1])), "application/octet-stream");
            });
        server_.Start();
        session_ = OpenSession();
    }

    LocalServer server_;
    Handle session_;
};

TEST_F(HttpExchangeTest, GivesStatusRawHeadersFinalUrlAndBody) {
    const Exchange got = Fetch(session_.Get(), server_.Port(), u"/hello", INTERNET_FLAG_RELOAD);
    ASSERT_TRUE(got.sent) << got.error;
    EXPECT_EQ(got.status, 200u);
    EXPECT_TRUE(got.headers.starts_with("HTTP/1.1 200 OK\r\n")) << got.headers;
    EXPECT_NE(got.headers.find("\r\nX-Greeting: yes\r\n"), std::string::npos);
    EXPECT_TRUE(got.headers.ends_with("\r\n\r\n"));
    EXPECT_EQ(got.finalUrl, "http://127.0.0.1:" + std::to_string(server_.Port()) + "/hello");
    EXPECT_EQ(got.body, "hello world");
}

TEST_F(HttpExchangeTest, NotFoundStillGivesItsHeadersAndBody) {
    const Exchange got = Fetch(session_.Get(), server_.Port(), u"/missing", 0);
    ASSERT_TRUE(got.sent);
    EXPECT_EQ(got.status, 404u);
    EXPECT_NE(got.headers.find("X-Reason: gone"), std::string::npos);
    EXPECT_EQ(got.body, "no such page");
}

TEST_F(HttpExchangeTest, BodiesEndWithOneEmptyRead) {
    for (const std::size_t size : {0u, 4096u, 8192u}) {
        const Request request =
            OpenRequest(session_.Get(), server_.Port(), W("/bytes/" + std::to_string(size)), 0);
        ASSERT_TRUE(Send(request));
        int reads = 0;
        bool ok = false;
        EXPECT_EQ(ReadBody(request.Get(), 4096, &reads, &ok), Pattern(size));
        EXPECT_TRUE(ok);
        EXPECT_EQ(reads, static_cast<int>(size / 4096 + 1)) << "size " << size;
        // Once the end was reported, further reads keep reporting it.
        char byte = 0;
        DWORD got = 1;
        EXPECT_TRUE(InternetReadFile(request.Get(), &byte, 1, &got));
        EXPECT_EQ(got, 0u);
    }
}

TEST_F(HttpExchangeTest, TextResultsUseTheTwoCallSizeProtocol) {
    const Request request = OpenRequest(session_.Get(), server_.Port(), u"/hello#top", 0);
    ASSERT_TRUE(Send(request));

    DWORD length = 0;
    EXPECT_FALSE(
        HttpQueryInfoW(request.Get(), HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &length, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    const DWORD needed = length;
    std::u16string text(needed / 2, u'\0');
    length = needed - 2;
    EXPECT_FALSE(
        HttpQueryInfoW(request.Get(), HTTP_QUERY_RAW_HEADERS_CRLF, text.data(), &length, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(length, needed);
    ASSERT_TRUE(
        HttpQueryInfoW(request.Get(), HTTP_QUERY_RAW_HEADERS_CRLF, text.data(), &length, nullptr));
    EXPECT_EQ(length, needed - 2) << "bytes, without the terminator";

    length = 0;
    EXPECT_FALSE(InternetQueryOptionW(request.Get(), INTERNET_OPTION_URL, nullptr, &length));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    std::u16string url(length, u'\0'); // more than enough: the size is in bytes
    ASSERT_TRUE(InternetQueryOptionW(request.Get(), INTERNET_OPTION_URL, url.data(), &length));
    url.resize(length); // characters this time
    EXPECT_EQ(A(url), "http://127.0.0.1:" + std::to_string(server_.Port()) + "/hello");

    DWORD status = 0;
    length = 2;
    EXPECT_FALSE(HttpQueryInfoW(request.Get(), HTTP_QUERY_FLAG_NUMBER | HTTP_QUERY_STATUS_CODE,
                                &status, &length, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(length, 4u);
}

TEST(HttpWireTest, RequestGoesOutAsHttp10WithTheCallerHeadersAsGiven) {
    RawServer server([](RawServer&, int fd, const std::string&) {
        RawServer::Send(fd, "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok");
    });
    const Handle session = OpenSession();
    const Request request = OpenRequest(session.Get(), server.Port(), u"/page", 0);
    ASSERT_TRUE(Send(request, u"User-agent: Crawler/1.0\r\nX-Empty: \r\nHost: example.test\r\n"));
    EXPECT_EQ(ReadBody(request.Get()), "ok");

    const std::string head = server.Heads().at(0);
    EXPECT_TRUE(head.starts_with("GET /page HTTP/1.0\r\n")) << head;
    for (const char* line :
         {"\r\nUser-agent: Crawler/1.0\r\n", "\r\nX-Empty:\r\n", "\r\nHost: example.test\r\n",
          "\r\nAccept: */*\r\n", "\r\nConnection: Keep-Alive\r\n"}) {
        EXPECT_NE(head.find(line), std::string::npos) << line << " missing from\n" << head;
    }
    EXPECT_EQ(head.find("Host: 127.0.0.1"), std::string::npos) << "the caller's Host wins";
}

TEST_F(HttpExchangeTest, NamedHeadersCanBeQueriedAsTextOrNumber) {
    const Request request = OpenRequest(session_.Get(), server_.Port(), u"/hello", 0);
    ASSERT_TRUE(Send(request));
    char16_t text[64] = u"X-Greeting";
    DWORD length = sizeof text;
    ASSERT_TRUE(HttpQueryInfoW(request.Get(), HTTP_QUERY_CUSTOM, text, &length, nullptr));
    EXPECT_EQ(std::u16string(text, length / 2), u"yes");
    DWORD number = 0;
    length = sizeof number;
    ASSERT_TRUE(HttpQueryInfoW(request.Get(), HTTP_QUERY_FLAG_NUMBER | HTTP_QUERY_CONTENT_LENGTH,
                               &number, &length, nullptr));
    EXPECT_EQ(number, 11u);
    length = sizeof text;
    EXPECT_FALSE(HttpQueryInfoW(request.Get(), HTTP_QUERY_LOCATION, text, &length, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_HTTP_HEADER_NOT_FOUND);
}

TEST(HttpWireTest, PreconfiguredAccessGoesThroughTheProxyFromTheEnvironment) {
    RawServer proxy([](RawServer&, int fd, const std::string&) {
        RawServer::Send(fd, "HTTP/1.0 200 OK\r\nContent-Length: 7\r\n\r\nproxied");
    });
    ::setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(proxy.Port())).c_str(), 1);
    const Handle preconfigured = OpenSession();
    const Request request = OpenRequest(preconfigured.Get(), 80, u"/via", 0, u"origin.invalid");
    const bool sent = Send(request);
    ::unsetenv("http_proxy");
    ASSERT_TRUE(sent) << GetLastError();
    EXPECT_EQ(ReadBody(request.Get()), "proxied");
    EXPECT_TRUE(proxy.Heads().at(0).starts_with("GET http://origin.invalid/via HTTP/1.0\r\n"))
        << proxy.Heads().at(0);
}

TEST(HttpWireTest, ObjectNameIsPercentEncodedOnTheWire) {
    RawServer server([](RawServer&, int fd, const std::string&) {
        RawServer::Send(fd, "HTTP/1.0 204 No Content\r\n\r\n");
    });
    const Handle session = OpenSession();
    // A space, a control unit, an ANSI letter, an ANSI symbol above 0x7F, a
    // character the code page lacks, an existing escape and a fragment.
    const Request request =
        OpenRequest(session.Get(), server.Port(), u"/a b/\u0001\u00e9\u20ac\u4e2d?q=1%20x#frag", 0);
    ASSERT_TRUE(Send(request));
    EXPECT_TRUE(
        server.Heads().at(0).starts_with("GET /a%20b/%01%E9%80%E4%B8%AD?q=1%20x HTTP/1.0\r\n"))
        << server.Heads().at(0);
}

TEST(HandleTest, WrongAndClosedHandlesAreRefused) {
    Handle session = OpenSession();
    EXPECT_FALSE(HttpSendRequestW(session.Get(), nullptr, 0, nullptr, 0));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    HINTERNET stale = session.Get();
    session = Handle();
    EXPECT_FALSE(InternetCloseHandle(stale));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(HttpWireTest, LinesWithABareLineBreakAreNeverSentAndRepliesReadBackClean) {
    struct Case {
        std::string reply;
        DWORD sendError;     // 0: sent
        std::string headers; // what the raw header text must hold
    };
    const Case cases[] = {
        {"HTTP/1.0 200 OK\r\nContent-Type:image/png\r\nX-Folded: a\r\n  b\r\n\tc \r\n\r\n", 0,
         "HTTP/1.0 200 OK\r\nContent-Type: image/png\r\nX-Folded: a b c\r\n\r\n"},
        {"hello, this is no HTTP server\r\n", ERROR_HTTP_INVALID_SERVER_RESPONSE, ""},
    };
    for (const Case& c : cases) {
        RawServer server(
            [&c](RawServer&, int fd, const std::string&) { RawServer::Send(fd, c.reply); });
        const Handle session = OpenSession();
        const Request request = OpenRequest(session.Get(), server.Port(), u"/", 0);
        const BOOL sent =
            Send(request, u"X-A: 1\nX-Injected: 2\r\nX-B: 3\rX-Also: 4\r\nX-Ok: yes\r\n");
        EXPECT_EQ(sent ? 0u : GetLastError(), c.sendError);
        if (sent) {
            EXPECT_EQ(RawHeadersOf(request.Get()), c.headers);
        }
        const std::string head = server.Heads().at(0);
        EXPECT_NE(head.find("\r\nX-Ok: yes\r\n"), std::string::npos) << head;
        for (const char* smuggled : {"X-A", "X-Injected", "X-B", "X-Also"}) {
            EXPECT_EQ(head.find(smuggled), std::string::npos) << head;
        }
    }
}

/// What a session's status callback heard, one line per report.
std::vector<std::string> g_heard;

void Listen(HINTERNET, std::uintptr_t context, DWORD status, void* info, DWORD length) {
    std::string line = std::to_string(status) + (context == 0 ? "" : " context?");
    if (status == INTERNET_STATUS_SENDING_REQUEST || status == INTERNET_STATUS_REDIRECT) {
        line += " " + A(std::u16string_view(static_cast<const char16_t*>(info),
                                            length / sizeof(char16_t) - 1));
    } else if (status == INTERNET_STATUS_RESPONSE_RECEIVED) {
        line += " " + std::to_string(*static_cast<const DWORD*>(info));
    } else if (status == INTERNET_STATUS_REQUEST_COMPLETE) {
        const auto* result = static_cast<const INTERNET_ASYNC_RESULT*>(info);
        line += " " + std::to_string(result->dwResult) + " " + std::to_string(result->dwError);
    }
    g_heard.push_back(line);
}

TEST_F(HttpExchangeTest, TheSessionsStatusCallbackHearsEveryRequest) {
    EXPECT_EQ(InternetSetStatusCallbackW(session_.Get(), &Listen), nullptr);
    g_heard.clear();
    const std::string origin = "http://127.0.0.1:" + std::to_string(server_.Port());
    Fetch(session_.Get(), server_.Port(), u"/hello#top", 0);
    const int port = ClosedPort();
    Fetch(session_.Get(), port, u"/", 0);
    const std::string closed = "http://127.0.0.1:" + std::to_string(port) + "/";
    EXPECT_EQ(g_heard, (std::vector<std::string>{"30 " + origin + "/hello", "41 11", "100 1 0",
                                                 "30 " + closed, "100 0 12029"}));
    EXPECT_EQ(InternetSetStatusCallbackW(session_.Get(), nullptr), &Listen);
    const Request request = OpenRequest(session_.Get(), server_.Port(), u"/hello", 0);
    EXPECT_EQ(InternetSetStatusCallbackW(request.Get(), &Listen), INTERNET_INVALID_STATUS_CALLBACK);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
}

} // namespace
