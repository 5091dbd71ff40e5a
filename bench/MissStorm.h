// SPDX-License-Identifier: Apache-2.0
// Clients that keep asking a proxy for addresses its cache does not hold,
// each on a keep-alive connection of its own, every address new (so every
// answer is a miss that the proxy notes), for as long as the storm lasts.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

class MissStorm {
  public:
    /// Starts `clients` clients asking the proxy on `proxyPort` for
    /// addresses under `origin`.
    MissStorm(int clients, int proxyPort, const std::string& origin) {
        for (int i = 0; i < clients; ++i) {
            m_threads.emplace_back([this, i, proxyPort, origin] { Ask(i, proxyPort, origin); });
        }
    }
    ~MissStorm() {
        m_stop = true;
        for (std::thread& thread : m_threads) {
            thread.join();
        }
    }
    MissStorm(const MissStorm&) = delete;
    MissStorm& operator=(const MissStorm&) = delete;

    long Misses() const { return m_misses; }

  private:
    static int Connect(int port) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
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

    /// Reads one response (head and Content-Length body); false when the
    /// connection ended.
    static bool ReadResponse(int fd, std::string& buffer) {
        char piece[16384];
        std::size_t end = std::string::npos;
        while ((end = buffer.find("\r\n\r\n")) == std::string::npos) {
            const ssize_t n = ::recv(fd, piece, sizeof piece, 0);
            if (n <= 0) {
                return false;
            }
            buffer.append(piece, static_cast<std::size_t>(n));
        }
        const auto at = buffer.find("Content-Length: ");
        const std::size_t body =
            at != std::string::npos && at < end ? std::strtoul(&buffer[at + 16], nullptr, 10) : 0;
        while (buffer.size() < end + 4 + body) {
            const ssize_t n = ::recv(fd, piece, sizeof piece, 0);
            if (n <= 0) {
                return false;
            }
            buffer.append(piece, static_cast<std::size_t>(n));
        }
        buffer.erase(0, end + 4 + body);
        return true;
    }

    void Ask(int client, int port, const std::string& origin) {
        int fd = -1;
        std::string buffer;
        for (long n = 0; !m_stop; ++n) {
            if (fd < 0 && (fd = Connect(port)) < 0) {
                return;
            }
            // A page a person asked for: the kind of miss the proxy notes.
            const std::string request =
                "GET " + origin + "/missing/" + std::to_string(client) + "/" + std::to_string(n) +
                " HTTP/1.1\r\nHost: " + origin.substr(7) + "\r\nAccept: text/html\r\n\r\n";
            if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) < 0 ||
                !ReadResponse(fd, buffer)) {
                ::close(fd);
                fd = -1;
                buffer.clear();
                continue;
            }
            ++m_misses;
        }
        if (fd >= 0) {
            ::close(fd);
        }
    }

    std::atomic<bool> m_stop{false};
    std::atomic<long> m_misses{0};
    std::vector<std::thread> m_threads;
};
