// SPDX-License-Identifier: Apache-2.0
// Which addresses are this machine's own: what a request made for a client
// on another machine must not reach (INTERNET_FLAG_NO_LOCAL_ADDRESSES).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace inet {

/// An IPv4 or IPv6 address as 16 bytes (IPv4 as ::ffff:a.b.c.d).
using IpBytes = std::array<std::uint8_t, 16>;

/// The address written in `text` (IPv4 or IPv6), if it is one.
std::optional<IpBytes> ParseIp(std::string_view text);
/// 127/8 or ::1.
bool IsLoopback(const IpBytes& address);
/// Loopback, link-local (169.254/16, fe80::/10) or unspecified (0.0.0.0,
/// ::, which connect to this machine on Linux).
bool IsMachineLocal(const IpBytes& address);

/// True for an address (IPv4 or IPv6 text, as libcurl or inet_ntop write
/// it) of this machine or its link: loopback, link-local, unspecified, an
/// IPv4 address mapped into IPv6 of those, or the address of one of the
/// machine's interfaces (read at most every few seconds). Text that is no
/// address, and any address while the interfaces were never read, is
/// taken as this machine's, so that nothing unknown passes.
bool IsThisMachinesAddress(std::string_view address);

} // namespace inet
