// SPDX-License-Identifier: Apache-2.0
// An origin on loopback that answers every request after a delay, on
// keep-alive connections, a thread per connection: what a far or busy
// server looks like to a proxy that forwards to it.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class SlowOrigin {
  public:
    explicit SlowOrigin(std::chrono::milliseconds delay) : m_delay(delay) {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_listener, 256);
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_acceptor = std::thread([this] { Accept(); });
    }
    ~SlowOrigin() {
        m_stop = true;
        ::shutdown(m_listener, SHUT_RDWR);
        m_acceptor.join();
        {
            const std::lock_guard lock(m_mutex);
            for (const int fd : m_connections) {
                ::shutdown(fd, SHUT_RDWR);
            }
        }
        for (std::thread& thread : m_threads) {
            thread.join();
        }
        for (const int fd : m_connections) {
            ::close(fd);
        }
        ::close(m_listener);
    }
    SlowOrigin(const SlowOrigin&) = delete;
    SlowOrigin& operator=(const SlowOrigin&) = delete;

    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_port); }

  private:
    void Accept() {
        for (;;) {
            const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                return;
            }
            const std::lock_guard lock(m_mutex);
            m_connections.push_back(fd);
            m_threads.emplace_back([this, fd] { Serve(fd); });
        }
    }

    void Serve(int fd) {
        std::string buffer;
        char piece[4096];
        while (!m_stop) {
            const auto end = buffer.find("\r\n\r\n");
            if (end == std::string::npos) {
                const ssize_t n = ::recv(fd, piece, sizeof piece, 0);
                if (n <= 0) {
                    break;
                }
                buffer.append(piece, static_cast<std::size_t>(n));
                continue;
            }
            buffer.erase(0, end + 4);
            std::this_thread::sleep_for(m_delay);
            const std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nslow";
            if (::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL) < 0) {
                break;
            }
        }
    }

    std::chrono::milliseconds m_delay;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_acceptor;
    std::mutex m_mutex;
    std::vector<int> m_connections; // closed at the end, after their threads
    std::vector<std::thread> m_threads;
};
