// SPDX-License-Identifier: Apache-2.0
// The few body bytes that have arrived but not yet been read.
//
// The window has a fixed capacity: when it cannot take the next piece the
// transfer is paused and the network is not read until the caller has
// drained it, so a response of any size costs the same memory.
#pragma once

#include <cstddef>
#include <vector>

namespace inet {

class BodyWindow {
  public:
    explicit BodyWindow(std::size_t capacity) : storage_(capacity) {}

    bool Empty() const { return begin_ == end_; }
    std::size_t Available() const { return end_ - begin_; }

    /// Appends `size` bytes when they fit, else appends nothing.
    bool Put(const char* data, std::size_t size);

    /// Moves up to `size` bytes out; returns how many.
    std::size_t Take(char* out, std::size_t size);

    void Clear() { begin_ = end_ = 0; }

  private:
    std::vector<char> storage_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
};

} // namespace inet
