// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/TransferPool.h"

namespace inet {

namespace {

// Connections kept alive per pool; a crawl talks to a handful of hosts.
constexpr long kMaxKeptConnections = 16;

} // namespace

TransferPool::TransferPool() : m_multi(curl_multi_init()) {
    if (m_multi) {
        curl_multi_setopt(m_multi.get(), CURLMOPT_MAXCONNECTS, kMaxKeptConnections);
    }
}

bool TransferPool::Add(CURL* easy) {
    if (curl_multi_add_handle(m_multi.get(), easy) != CURLM_OK) {
        return false;
    }
    ++m_transfers;
    return true;
}

void TransferPool::Remove(CURL* easy) {
    if (curl_multi_remove_handle(m_multi.get(), easy) == CURLM_OK) {
        --m_transfers;
    }
}

void TransferPool::Perform() {
    int running = 0;
    curl_multi_perform(m_multi.get(), &running);
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi.get(), &queued)) {
        if (message->msg != CURLMSG_DONE) {
            continue;
        }
        void* sink = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &sink);
        if (sink != nullptr) {
            static_cast<TransferSink*>(sink)->OnTransferDone(message->data.result);
        }
    }
}

void TransferPool::Wait(int ms) {
    curl_multi_poll(m_multi.get(), nullptr, 0, ms, nullptr);
}

} // namespace inet
