// SPDX-License-Identifier: Apache-2.0
// A raw client of the proxy on 127.0.0.1: a connection, and the first line
// of the answer to bytes sent on it, for requests curl will not make.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>

/// A connection to `port` on 127.0.0.1 that gives up reading after ten
/// seconds, with a receive buffer of `receiveBuffer` bytes when not 0; -1
/// when it cannot be made.
inline int Connect(int port, int receiveBuffer = 0) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0) {
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    timeval limit{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

/// Sends `bytes` on `fd`; the first line of the answer ("" when none came).
inline std::string Ask(int fd, const std::string& bytes) {
    ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    std::string answer;
    char piece[4096];
    ssize_t n = 0;
    while (answer.find("\r\n") == std::string::npos &&
           (n = ::recv(fd, piece, sizeof piece, 0)) > 0) {
        answer.append(piece, static_cast<std::size_t>(n));
    }
    return answer.substr(0, answer.find("\r\n"));
}
