// SPDX-License-Identifier: Apache-2.0
#include "host/proxy/UpstreamExchange.h"

namespace proxy {

std::optional<ResponseHead> UpstreamExchange::TakeHead() {
    const std::lock_guard lock(mutex_);
    notifyPending_ = false;
    if (!head_ || headTaken_) {
        return std::nullopt;
    }
    headTaken_ = true;
    return std::move(head_);
}

void UpstreamExchange::TakeBody(std::string& out, bool& finished, DWORD& error) {
    {
        const std::lock_guard lock(mutex_);
        notifyPending_ = false;
        out.clear();
        out.swap(body_);
        finished = finished_ && out.empty();
        error = error_;
    }
    room_.notify_one();
}

bool UpstreamExchange::FailedBeforeHead(DWORD& error) {
    const std::lock_guard lock(mutex_);
    notifyPending_ = false;
    error = error_;
    return finished_ && !head_ && !headTaken_;
}

void UpstreamExchange::Cancel() {
    {
        const std::lock_guard lock(mutex_);
        cancelled_ = true;
    }
    room_.notify_one();
}

bool UpstreamExchange::Cancelled() {
    const std::lock_guard lock(mutex_);
    return cancelled_;
}

void UpstreamExchange::PutHead(ResponseHead head) {
    std::unique_lock lock(mutex_);
    head_ = std::move(head);
    NotifyLocked(lock);
}

bool UpstreamExchange::PutBody(const char* data, std::size_t size) {
    std::unique_lock lock(mutex_);
    room_.wait(lock, [this] { return cancelled_ || body_.size() < kBufferBytes; });
    if (cancelled_) {
        return false;
    }
    body_.append(data, size);
    NotifyLocked(lock);
    return true;
}

void UpstreamExchange::Finish(DWORD error) {
    std::unique_lock lock(mutex_);
    finished_ = true;
    error_ = error;
    NotifyLocked(lock);
}

void UpstreamExchange::NotifyLocked(std::unique_lock<std::mutex>& lock) {
    if (notifyPending_ || cancelled_) {
        return;
    }
    notifyPending_ = true;
    lock.unlock();
    notify_();
}

} // namespace proxy
