// SPDX-License-Identifier: Apache-2.0
#include "platform/cache/RetrievalCounts.h"

#include "platform/cache/UrlCacheStore.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

namespace urlcache {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kFlushEvery = std::chrono::milliseconds(250);

class PendingHits {
  public:
    ~PendingHits() { Flush(); }

    void Count(std::u16string_view url) {
        bool due = false;
        {
            const std::lock_guard lock(mutex_);
            ++hits_[std::u16string(url)];
            due = Clock::now() - lastFlush_ >= kFlushEvery;
        }
        if (due) {
            Flush();
        }
    }

    bool Flush() {
        std::unordered_map<std::u16string, std::uint32_t> batch;
        {
            const std::lock_guard lock(mutex_);
            batch.swap(hits_);
            lastFlush_ = Clock::now();
        }
        if (batch.empty()) {
            return true;
        }
        bool written = false;
        WithUrlCache([&](CacheIndex& index, const std::string&) {
            Transaction transaction(index.Db());
            written = transaction.Begun();
            for (const auto& [url, hits] : batch) {
                written = written && index.AddHits(url, hits);
            }
            written = written && transaction.Commit();
        });
        if (!written) {
            const std::lock_guard lock(mutex_);
            for (const auto& [url, hits] : batch) {
                hits_[url] += hits;
            }
        }
        return written;
    }

  private:
    std::mutex mutex_;
    std::unordered_map<std::u16string, std::uint32_t> hits_;
    Clock::time_point lastFlush_ = Clock::now();
};

PendingHits& Pending() {
    static PendingHits pending;
    return pending;
}

} // namespace

void CountStreamHit(std::u16string_view storedUrl) {
    Pending().Count(storedUrl);
}

bool FlushStreamHits() {
    return Pending().Flush();
}

} // namespace urlcache
