// SPDX-License-Identifier: Apache-2.0
// A TCP relay on loopback that stands for a network link: every byte
// arrives half a round trip after it was sent, each way; a new connection
// is put through one round trip late, as a TCP handshake over the link
// would be; and each direction of a connection carries at most the link's
// bandwidth. Four threads a connection: a benchmark opens a few dozen.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace bench {

class LinkRelay {
  public:
    using Clock = std::chrono::steady_clock;

    /// Relays 127.0.0.1:Port() to 127.0.0.1:`upstreamPort`.
    LinkRelay(int upstreamPort, std::chrono::milliseconds roundTrip, double bitsPerSecond)
        : m_upstreamPort(upstreamPort), m_roundTrip(roundTrip),
          m_bytesPerSecond(bitsPerSecond / 8) {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = Loopback(0);
        socklen_t length = sizeof address;
        if (m_listener < 0 ||
            ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_listener, 128) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("the link relay cannot listen");
        }
        m_port = ntohs(address.sin_port);
        m_acceptor = std::thread([this] { AcceptLoop(); });
    }
    ~LinkRelay() {
        m_stopping = true;
        m_acceptor.join();
        {
            const std::lock_guard lock(m_mutex);
            for (const int fd : m_sockets) {
                ::shutdown(fd, SHUT_RDWR);
            }
        }
        for (std::thread& thread : m_threads) {
            thread.join();
        }
        for (const int fd : m_sockets) {
            ::close(fd);
        }
        ::close(m_listener);
    }
    LinkRelay(const LinkRelay&) = delete;
    LinkRelay& operator=(const LinkRelay&) = delete;

    int Port() const { return m_port; }

  private:
    /// One direction's bytes in flight, each chunk with the time it arrives.
    struct Flight {
        std::mutex mutex;
        std::condition_variable changed;
        std::deque<std::pair<Clock::time_point, std::string>> chunks; // empty text: the end
    };

    static sockaddr_in Loopback(int port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        return address;
    }

    void AcceptLoop() {
        while (!m_stopping) {
            pollfd waiting{m_listener, POLLIN, 0};
            if (::poll(&waiting, 1, 50) <= 0) {
                continue;
            }
            const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) {
                continue;
            }
            const std::lock_guard lock(m_mutex);
            m_sockets.push_back(client);
            m_threads.emplace_back([this, client] { Connect(client); });
        }
    }

    void Connect(int client) {
        std::this_thread::sleep_for(m_roundTrip);
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in address = Loopback(m_upstreamPort);
        if (server < 0 ||
            ::connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ::shutdown(client, SHUT_RDWR);
            if (server >= 0) {
                ::close(server);
            }
            return;
        }
        {
            const std::lock_guard lock(m_mutex);
            m_sockets.push_back(server);
        }
        for (const int fd : {client, server}) {
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        }
        Flight up;
        Flight down;
        std::thread upRead([&] { Read(client, up); });
        std::thread downRead([&] { Read(server, down); });
        std::thread upWrite([&] { Write(up, server); });
        Write(down, client);
        upRead.join();
        downRead.join();
        upWrite.join();
    }

    /// Reads what `from` sends and schedules it: it leaves the far end once
    /// the link has carried the bytes before it, and arrives half a round
    /// trip later.
    void Read(int from, Flight& flight) {
        Clock::time_point linkFree = Clock::now();
        std::string buffer(64 * 1024, '\0');
        for (;;) {
            const ssize_t n = ::read(from, buffer.data(), buffer.size());
            const Clock::time_point now = Clock::now();
            const auto carry = std::chrono::duration_cast<Clock::duration>(
                std::chrono::duration<double>(std::max<ssize_t>(n, 0) / m_bytesPerSecond));
            linkFree = std::max(linkFree, now) + carry;
            {
                const std::lock_guard lock(flight.mutex);
                flight.chunks.emplace_back(linkFree + m_roundTrip / 2,
                                           n > 0 ? buffer.substr(0, static_cast<std::size_t>(n))
                                                 : std::string());
            }
            flight.changed.notify_one();
            if (n <= 0) {
                return;
            }
        }
    }

    static void Write(Flight& flight, int to) {
        for (;;) {
            std::unique_lock lock(flight.mutex);
            flight.changed.wait(lock, [&] { return !flight.chunks.empty(); });
            auto [due, text] = std::move(flight.chunks.front());
            flight.chunks.pop_front();
            lock.unlock();
            std::this_thread::sleep_until(due);
            if (text.empty()) {
                ::shutdown(to, SHUT_WR);
                return;
            }
            for (std::size_t sent = 0; sent < text.size();) {
                const ssize_t n = ::send(to, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) {
                    return;
                }
                sent += static_cast<std::size_t>(n);
            }
        }
    }

    const int m_upstreamPort;
    const std::chrono::milliseconds m_roundTrip;
    const double m_bytesPerSecond;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::thread m_acceptor;
    std::mutex m_mutex;
    std::vector<int> m_sockets;
    std::vector<std::thread> m_threads;
};

} // namespace bench
