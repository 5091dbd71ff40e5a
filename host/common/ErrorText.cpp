// SPDX-License-Identifier: Apache-2.0
#include "host/common/ErrorText.h"

#include "platform/inet/WinInet.h"
#include "platform/kernel/LastError.h"

namespace {

struct Known {
    DWORD error;
    const char* text;
};

constexpr Known kKnown[] = {
    {ERROR_FILE_NOT_FOUND, "the file was not found"},
    {ERROR_PATH_NOT_FOUND, "the folder was not found"},
    {ERROR_ACCESS_DENIED, "access is denied"},
    {ERROR_NOT_ENOUGH_MEMORY, "not enough memory"},
    {ERROR_DISK_FULL, "the disk is full"},
    {ERROR_ARITHMETIC_OVERFLOW, "a response or text too large to hold (2 GiB or more)"},
    {ERROR_CANCELLED, "cancelled"},
    {ERROR_INTERNET_TIMEOUT, "the server did not answer in time"},
    {ERROR_INTERNET_INTERNAL_ERROR, "internal error of the internet library"},
    {ERROR_INTERNET_INVALID_URL, "the URL is not valid"},
    {ERROR_INTERNET_UNRECOGNIZED_SCHEME, "the URL is not an http or https URL"},
    {ERROR_INTERNET_NAME_NOT_RESOLVED, "the server name could not be resolved"},
    {ERROR_INTERNET_CANNOT_CONNECT, "the connection to the server failed"},
    {ERROR_INTERNET_CONNECTION_ABORTED, "the connection was aborted"},
    {ERROR_INTERNET_CONNECTION_RESET, "the connection was reset"},
    {ERROR_INTERNET_SEC_CERT_DATE_INVALID,
     "the server certificate has expired or is not yet valid"},
    {ERROR_INTERNET_SEC_CERT_CN_INVALID, "the server certificate names another host"},
    {ERROR_INTERNET_HTTP_TO_HTTPS_ON_REDIR, "redirected from http to https"},
    {ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR, "redirected from https to http"},
    {ERROR_INTERNET_INVALID_CA, "the server certificate comes from an unknown authority"},
    {ERROR_HTTP_INVALID_SERVER_RESPONSE, "the server's reply is not HTTP"},
    {ERROR_HTTP_REDIRECT_FAILED, "too many redirects (more than 20: a redirect loop?)"},
    {ERROR_INTERNET_SECURITY_CHANNEL_ERROR, "the secure channel failed"},
    {ERROR_INTERNET_DISCONNECTED, "the internet library is set to work offline"},
};

} // namespace

std::string DescribeError(DWORD error) {
    std::string number = "error " + std::to_string(error);
    for (const Known& k : kKnown) {
        if (k.error == error) {
            return std::string(k.text) + " (" + number + ")";
        }
    }
    return number;
}
