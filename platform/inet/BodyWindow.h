// SPDX-License-Identifier: Apache-2.0
// The few body bytes that have arrived but not yet been read.
//
// The window has a fixed capacity: when it cannot take the next piece the
// transfer is paused and the network is not read until the caller has
// drained it, so a response of any size costs the same memory. Its storage
// grows only as far as the bytes waiting need: most bodies are a few
// kilobytes, and a request should not pay for the largest window.
#pragma once

#include <cstddef>
#include <memory>

namespace inet {

class BodyWindow {
  public:
    explicit BodyWindow(std::size_t capacity) : m_capacity(capacity) {}

    bool Empty() const { return m_begin == m_end; }
    std::size_t Available() const { return m_end - m_begin; }

    /// Appends `size` bytes when they fit, else appends nothing.
    [[nodiscard]] bool Put(const char* data, std::size_t size);

    /// Moves up to `size` bytes out; returns how many.
    std::size_t Take(char* out, std::size_t size);

    void Clear() { m_begin = m_end = 0; }

  private:
    /// Makes room for `size` more bytes at the back.
    void MakeRoom(std::size_t size);

    std::size_t m_capacity;
    std::unique_ptr<char[]> m_storage;
    std::size_t m_allocated = 0;
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
};

} // namespace inet
