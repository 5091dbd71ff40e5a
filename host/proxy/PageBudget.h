// SPDX-License-Identifier: Apache-2.0
// One budget for the whole pages the proxy holds in memory at once: host
// pages gathered to put the panel in, and kept copies read whole for the
// panel or the copy view. Each holder takes its bytes before it holds them
// and gives them back when it goes; past the budget a page streams as it
// came (a forwarded one) or is refused with 503 (a kept copy), so clients
// that ask for large pages and never read cannot make the proxy grow.
#pragma once

#include <cstdint>

namespace proxy {

constexpr std::uint64_t kHeldPagesBudget = std::uint64_t{128} * 1024 * 1024;

/// Bytes taken from the budget, given back on destruction.
class HeldPageBytes {
  public:
    HeldPageBytes() = default;
    ~HeldPageBytes();
    HeldPageBytes(const HeldPageBytes&) = delete;
    HeldPageBytes& operator=(const HeldPageBytes&) = delete;

    /// Takes `bytes` more; false, taking nothing, when the budget has no
    /// room for them.
    [[nodiscard]] bool Grow(std::uint64_t bytes);

    /// The bytes the whole proxy holds now.
    static std::uint64_t InUse();

  private:
    std::uint64_t m_bytes = 0;
};

} // namespace proxy
