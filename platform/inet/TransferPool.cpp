// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/TransferPool.h"

namespace inet {

namespace {

// Connections kept alive per pool; a crawl talks to a handful of hosts.
constexpr long kMaxKeptConnections = 16;

} // namespace

TransferPool::TransferPool() : multi_(curl_multi_init()) {
    if (multi_) {
        curl_multi_setopt(multi_.get(), CURLMOPT_MAXCONNECTS, kMaxKeptConnections);
    }
}

bool TransferPool::Add(CURL* easy) {
    if (curl_multi_add_handle(multi_.get(), easy) != CURLM_OK) {
        return false;
    }
    ++transfers_;
    return true;
}

void TransferPool::Remove(CURL* easy) {
    if (curl_multi_remove_handle(multi_.get(), easy) == CURLM_OK) {
        --transfers_;
    }
}

void TransferPool::Perform() {
    int running = 0;
    curl_multi_perform(multi_.get(), &running);
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_.get(), &queued)) {
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
    curl_multi_poll(multi_.get(), nullptr, 0, ms, nullptr);
}

} // namespace inet
