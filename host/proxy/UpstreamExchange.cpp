// SPDX-License-Identifier: Apache-2.0
#include "host/proxy/UpstreamExchange.h"

#include <utility>

namespace proxy {

std::optional<ResponseHead> UpstreamExchange::TakeHead() {
    const std::lock_guard lock(m_mutex);
    m_notifyPending = false;
    if (!m_head || m_headTaken) {
        return std::nullopt;
    }
    m_headTaken = true;
    return std::move(m_head);
}

void UpstreamExchange::TakeBody(std::string& out, bool& finished, DWORD& error) {
    std::unique_lock lock(m_mutex);
    m_notifyPending = false;
    out.clear();
    out.swap(m_body);
    finished = m_finished && out.empty();
    error = m_error;
    if (std::exchange(m_wantsRoom, false)) {
        CallRoom(lock);
    }
}

bool UpstreamExchange::FailedBeforeHead(DWORD& error) {
    const std::lock_guard lock(m_mutex);
    m_notifyPending = false;
    error = m_error;
    return m_finished && !m_head && !m_headTaken;
}

void UpstreamExchange::Cancel() {
    std::unique_lock lock(m_mutex);
    m_cancelled = true;
    CallRoom(lock);
}

void UpstreamExchange::SetRoomCallback(std::function<void()> room) {
    const std::lock_guard lock(m_mutex);
    m_room = std::move(room);
}

bool UpstreamExchange::HasRoom() {
    const std::lock_guard lock(m_mutex);
    m_wantsRoom = m_cancelled || m_body.size() >= kBufferBytes;
    return !m_wantsRoom;
}

void UpstreamExchange::CallRoom(std::unique_lock<std::mutex>& lock) {
    const std::function<void()> room = m_room;
    lock.unlock();
    if (room) {
        room();
    }
}

bool UpstreamExchange::Cancelled() {
    const std::lock_guard lock(m_mutex);
    return m_cancelled;
}

void UpstreamExchange::PutHead(ResponseHead head) {
    std::unique_lock lock(m_mutex);
    m_head = std::move(head);
    NotifyLocked(lock);
}

bool UpstreamExchange::PutBody(const char* data, std::size_t size) {
    std::unique_lock lock(m_mutex);
    if (m_cancelled) {
        return false;
    }
    m_body.append(data, size);
    NotifyLocked(lock);
    return true;
}

void UpstreamExchange::Finish(DWORD error) {
    std::unique_lock lock(m_mutex);
    m_finished = true;
    m_error = error;
    NotifyLocked(lock);
}

void UpstreamExchange::NotifyLocked(std::unique_lock<std::mutex>& lock) {
    if (m_notifyPending || m_cancelled) {
        return;
    }
    m_notifyPending = true;
    lock.unlock();
    m_notify();
}

} // namespace proxy
