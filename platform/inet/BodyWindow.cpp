// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/BodyWindow.h"

#include <algorithm>
#include <cstring>

namespace inet {

bool BodyWindow::Put(const char* data, std::size_t size) {
    if (Empty() && size > storage_.size()) {
        // libcurl hands at most its write size at a time; a larger piece
        // would otherwise stay paused for ever.
        storage_.resize(size);
    }
    if (size > storage_.size() - Available()) {
        return false;
    }
    if (size == 0) {
        return true;
    }
    if (size > storage_.size() - end_) {
        // Slide the unread bytes to the front to make room at the back.
        std::memmove(storage_.data(), storage_.data() + begin_, Available());
        end_ -= begin_;
        begin_ = 0;
    }
    std::memcpy(storage_.data() + end_, data, size);
    end_ += size;
    return true;
}

std::size_t BodyWindow::Take(char* out, std::size_t size) {
    const std::size_t n = std::min(size, Available());
    if (n == 0) {
        return 0;
    }
    std::memcpy(out, storage_.data() + begin_, n);
    begin_ += n;
    if (begin_ == end_) {
        begin_ = end_ = 0;
    }
    return n;
}

} // namespace inet
