// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/LocalAddresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace inet {

namespace {

bool IsMappedV4(const IpBytes& a) {
    return std::all_of(a.begin(), a.begin() + 10, [](std::uint8_t b) { return b == 0; }) &&
           a[10] == 0xFF && a[11] == 0xFF;
}

IpBytes Mapped(const in_addr& v4) {
    IpBytes out{};
    out[10] = 0xFF;
    out[11] = 0xFF;
    std::memcpy(out.data() + 12, &v4, 4);
    return out;
}

/// The addresses of the machine's interfaces, read again after a while:
/// interfaces come and go.
class InterfaceAddresses {
  public:
    /// True when `a` is one of them, or when they could never be read.
    bool Contains(const IpBytes& a) {
        const std::lock_guard lock(m_mutex);
        const auto now = std::chrono::steady_clock::now();
        if (!m_list || now - m_read > std::chrono::seconds(5)) {
            if (std::optional<std::vector<IpBytes>> read = ReadAll()) {
                m_list = std::move(read); // a failed read keeps the last good list
            }
            m_read = now;
        }
        return !m_list || std::find(m_list->begin(), m_list->end(), a) != m_list->end();
    }

  private:
    static std::optional<std::vector<IpBytes>> ReadAll() {
        std::vector<IpBytes> out;
        ifaddrs* list = nullptr;
        if (::getifaddrs(&list) != 0) {
            return std::nullopt;
        }
        for (const ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
            if (i->ifa_addr == nullptr) {
                continue;
            }
            if (i->ifa_addr->sa_family == AF_INET) {
                out.push_back(Mapped(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr));
            } else if (i->ifa_addr->sa_family == AF_INET6) {
                IpBytes a{};
                std::memcpy(a.data(),
                            &reinterpret_cast<const sockaddr_in6*>(i->ifa_addr)->sin6_addr, 16);
                out.push_back(a);
            }
        }
        ::freeifaddrs(list);
        return out;
    }

    std::mutex m_mutex;
    std::chrono::steady_clock::time_point m_read;
    std::optional<std::vector<IpBytes>> m_list;
};

} // namespace

std::optional<IpBytes> ParseIp(std::string_view text) {
    if (text.size() > INET6_ADDRSTRLEN) {
        return std::nullopt;
    }
    const std::string copy(text);
    in_addr v4{};
    if (::inet_pton(AF_INET, copy.c_str(), &v4) == 1) {
        return Mapped(v4);
    }
    in6_addr v6{};
    if (::inet_pton(AF_INET6, copy.c_str(), &v6) == 1) {
        IpBytes out{};
        std::memcpy(out.data(), &v6, 16);
        return out;
    }
    return std::nullopt;
}

bool IsLoopback(const IpBytes& a) {
    static const IpBytes v6Loopback = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    return a == v6Loopback || (IsMappedV4(a) && a[12] == 127);
}

bool IsMachineLocal(const IpBytes& a) {
    const bool v4 = IsMappedV4(a);
    const bool linkLocal =
        (v4 && a[12] == 169 && a[13] == 254) || (a[0] == 0xFE && (a[1] & 0xC0) == 0x80);
    const bool unspecified = a == IpBytes{} || (v4 && a[12] == 0);
    return IsLoopback(a) || linkLocal || unspecified;
}

bool IsThisMachinesAddress(std::string_view address) {
    const std::optional<IpBytes> parsed = ParseIp(address);
    if (!parsed) {
        return true;
    }
    static InterfaceAddresses interfaces;
    return IsMachineLocal(*parsed) || interfaces.Contains(*parsed);
}

} // namespace inet
