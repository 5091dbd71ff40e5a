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

    void Count(std::string_view key) {
        bool due = false;
        {
            const std::lock_guard lock(mutex_);
            const auto found = textHits_.find(key);
            if (found != textHits_.end()) {
                ++found->second;
            } else {
                textHits_.emplace(std::string(key), 1);
            }
            due = Clock::now() - lastFlush_ >= kFlushEvery;
        }
        if (due) {
            Flush();
        }
    }

    bool Flush() {
        std::unordered_map<std::u16string, std::uint32_t> batch;
        TextCounts textBatch;
        {
            const std::lock_guard lock(mutex_);
            batch.swap(hits_);
            textBatch.swap(textHits_);
            lastFlush_ = Clock::now();
        }
        if (batch.empty() && textBatch.empty()) {
            return true;
        }
        bool written = false;
        WithUrlCache([&](CacheIndex& index, const std::string&) {
            Transaction transaction(index.Db());
            written = transaction.Begun();
            for (const auto& [url, hits] : batch) {
                written = written && index.AddHits(url, hits);
            }
            for (const auto& [key, hits] : textBatch) {
                written = written && index.AddHits(std::string_view(key), hits);
            }
            written = written && transaction.Commit();
        });
        if (!written) {
            const std::lock_guard lock(mutex_);
            for (const auto& [url, hits] : batch) {
                hits_[url] += hits;
            }
            for (const auto& [key, hits] : textBatch) {
                textHits_[key] += hits;
            }
        }
        return written;
    }

  private:
    /// Looks a key up without making a string of it.
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };
    using TextCounts = std::unordered_map<std::string, std::uint32_t, TextHash, std::equal_to<>>;

    std::mutex mutex_;
    std::unordered_map<std::u16string, std::uint32_t> hits_;
    TextCounts textHits_; // counted through the native face
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

void CountStoredHit(std::string_view key) {
    Pending().Count(key);
}

bool FlushStreamHits() {
    return Pending().Flush();
}

} // namespace urlcache
