// SPDX-License-Identifier: Apache-2.0
#include "host/proxy/PageBudget.h"

#include <atomic>

namespace proxy {

namespace {

std::atomic<std::uint64_t> g_inUse{0};

} // namespace

HeldPageBytes::~HeldPageBytes() {
    g_inUse.fetch_sub(m_bytes);
}

bool HeldPageBytes::Grow(std::uint64_t bytes) {
    std::uint64_t now = g_inUse.load();
    do {
        if (bytes > kHeldPagesBudget - now) {
            return false;
        }
    } while (!g_inUse.compare_exchange_weak(now, now + bytes));
    m_bytes += bytes;
    return true;
}

std::uint64_t HeldPageBytes::InUse() {
    return g_inUse.load();
}

} // namespace proxy
