// SPDX-License-Identifier: Apache-2.0
#include "host/common/HostPageFetch.h"

#include "host/common/ErrorText.h"
#include "host/common/PageEncoding.h"
#include "net/HttpRequest.h"
#include "net/InternetSession.h"
#include "net/Url.h"
#include "platform/kernel/LastError.h"
#include "platform/text/Utf8.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace {

// The page is fetched afresh and kept out of the URL cache: it configures a
// synchronization but is not part of what one keeps. Redirects between http
// and https are followed as a browser would.
constexpr DWORD kPageFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                             INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP |
                             INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;

constexpr std::size_t kFileReadSize = std::size_t{16} * 1024;

PageBytes Failure(std::string reason) {
    return {false, {}, std::move(reason), {}};
}

/// The response's Content-Type as the server sent it, "" when none. The
/// request's own header text keeps the media type alone, without the
/// charset that says how to read the page.
std::string ServedContentType(HINTERNET request) {
    DWORD bytes = 0;
    if (HttpQueryInfoW(request, HTTP_QUERY_CONTENT_TYPE, nullptr, &bytes, nullptr) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return {};
    }
    std::u16string value(bytes / sizeof(char16_t), u'\0');
    if (!HttpQueryInfoW(request, HTTP_QUERY_CONTENT_TYPE, value.data(), &bytes, nullptr)) {
        return {};
    }
    value.resize(bytes / sizeof(char16_t));
    return Utf16ToUtf8(value);
}

PageBytes SystemFailure(int error) {
    return Failure(std::generic_category().message(error));
}

PageBytes TooLarge() {
    return Failure(PageTooLargeReason());
}

/// Owns an open file descriptor.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return m_fd; }
    bool IsOpen() const { return m_fd >= 0; }

  private:
    int m_fd;
};

PageBytes ReadAll(int fd) {
    PageBytes page{true, {}, {}, {}};
    char buffer[kFileReadSize];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return SystemFailure(errno);
        }
        if (count == 0) {
            return page;
        }
        if (page.bytes.size() + static_cast<std::size_t>(count) > kMaxHostPageBytes) {
            return TooLarge();
        }
        page.bytes.append(buffer, static_cast<std::size_t>(count));
    }
}

/// Appends the body piece by piece, emptying the request's buffer after each
/// so that a page over the limit is refused without being held whole.
PageBytes ReadBody(CHttpRequest& request) {
    PageBytes page{true, {}, {}, {}};
    DWORD count = 0;
    do {
        if (!request.ReadData(&count)) {
            return Failure("the page could not be read: " + DescribeError(GetLastError()));
        }
        if (page.bytes.size() + count > kMaxHostPageBytes) {
            return TooLarge();
        }
        page.bytes.append(reinterpret_cast<const char*>(request.m_response.GetData()), count);
        request.m_response.Empty();
    } while (count != 0);
    return page;
}

} // namespace

std::string PageTooLargeReason() {
    return "the page is larger than " + std::to_string(kMaxHostPageBytes >> 20) + " MiB";
}

bool LooksLikeUrl(std::string_view argument) {
    const std::size_t separator = argument.find("://");
    if (separator == 0 || separator == std::string_view::npos) {
        return false;
    }
    const auto schemeChar = [](unsigned char c) {
        return std::isalnum(c) || c == '+' || c == '-' || c == '.';
    };
    const std::string_view scheme = argument.substr(0, separator);
    return std::isalpha(static_cast<unsigned char>(scheme.front())) &&
           std::all_of(scheme.begin(), scheme.end(), schemeChar);
}

PageBytes ReadPageFile(const std::string& path) {
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.IsOpen()) {
        return SystemFailure(errno);
    }
    // A directory opens on Linux too; its first read fails with EISDIR.
    return ReadAll(file.Get());
}

PageBytes FetchPageUrl(const std::string& url) {
    if (g_hInternet == nullptr) {
        return Failure("the internet session is not open");
    }
    CHttpRequest request;
    const std::u16string wide = Utf8ToUtf16(url);
    if (!ParseURL(wide.c_str(), request.m_host, request.m_path, &request.m_nPort,
                  &request.m_bSecure)) {
        return Failure("not a valid http or https URL");
    }
    request.m_dwFlags = kPageFlags;
    DWORD status = 0;
    CVELString headers;
    if (!request.SendRequest() || !request.ReadResponseHeaders(&status, headers)) {
        return Failure("the request failed: " + DescribeError(GetLastError()));
    }
    if (status != 200) {
        return Failure("the server answered with status " + std::to_string(status));
    }
    const std::string charset = CharsetOfContentType(ServedContentType(request.m_hRequest));
    PageBytes page = ReadBody(request);
    page.charset = charset;
    return page;
}
