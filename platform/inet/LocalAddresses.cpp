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

/// An address as 16 bytes, IPv4 mapped into IPv6.
using Address = std::array<unsigned char, 16>;

Address Mapped(const in_addr& v4) {
    Address out{};
    out[10] = 0xFF;
    out[11] = 0xFF;
    std::memcpy(out.data() + 12, &v4, 4);
    return out;
}

std::optional<Address> Parse(std::string_view text) {
    const std::string copy(text.substr(0, std::min<std::size_t>(text.size(), INET6_ADDRSTRLEN)));
    in_addr v4{};
    if (::inet_pton(AF_INET, copy.c_str(), &v4) == 1) {
        return Mapped(v4);
    }
    in6_addr v6{};
    if (::inet_pton(AF_INET6, copy.c_str(), &v6) == 1) {
        Address out{};
        std::memcpy(out.data(), &v6, 16);
        return out;
    }
    return std::nullopt;
}

bool IsMappedV4(const Address& a) {
    return std::all_of(a.begin(), a.begin() + 10, [](unsigned char b) { return b == 0; }) &&
           a[10] == 0xFF && a[11] == 0xFF;
}

/// Loopback, link-local or unspecified, in either family.
bool IsLocalByItself(const Address& a) {
    if (IsMappedV4(a)) {
        return a[12] == 127 || (a[12] == 169 && a[13] == 254) ||
               (a[12] == 0 && a[13] == 0 && a[14] == 0 && a[15] == 0);
    }
    const bool zeroHead =
        std::all_of(a.begin(), a.begin() + 15, [](unsigned char b) { return b == 0; });
    return (zeroHead && (a[15] == 0 || a[15] == 1)) || (a[0] == 0xFE && (a[1] & 0xC0) == 0x80);
}

/// The addresses of the machine's interfaces, read again after a while:
/// interfaces come and go.
class InterfaceAddresses {
  public:
    /// True when `a` is one of them, or when they could never be read.
    bool Contains(const Address& a) {
        const std::lock_guard lock(m_mutex);
        const auto now = std::chrono::steady_clock::now();
        if (!m_list || now - m_read > std::chrono::seconds(5)) {
            if (std::optional<std::vector<Address>> read = ReadAll()) {
                m_list = std::move(read); // a failed read keeps the last good list
            }
            m_read = now;
        }
        return !m_list || std::find(m_list->begin(), m_list->end(), a) != m_list->end();
    }

  private:
    static std::optional<std::vector<Address>> ReadAll() {
        std::vector<Address> out;
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
                Address a{};
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
    std::optional<std::vector<Address>> m_list;
};

} // namespace

bool IsThisMachinesAddress(std::string_view address) {
    const std::optional<Address> parsed = Parse(address);
    if (!parsed) {
        return true;
    }
    static InterfaceAddresses interfaces;
    return IsLocalByItself(*parsed) || interfaces.Contains(*parsed);
}

} // namespace inet
