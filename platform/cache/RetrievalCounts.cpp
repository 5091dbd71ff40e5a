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

    void Count(std::string_view key) {
        bool due = false;
        {
            const std::lock_guard lock(m_mutex);
            const auto found = m_hits.find(key);
            if (found != m_hits.end()) {
                ++found->second;
            } else {
                m_hits.emplace(std::string(key), 1);
            }
            due = Clock::now() - m_lastFlush >= kFlushEvery;
        }
        if (due) {
            Flush();
        }
    }

    bool Flush() {
        TextCounts batch;
        {
            const std::lock_guard lock(m_mutex);
            batch.swap(m_hits);
            m_lastFlush = Clock::now();
        }
        if (batch.empty()) {
            return true;
        }
        // A cache that cannot be opened leaves `written` false.
        bool written = false;
        static_cast<void>(WithUrlCache([&](CacheIndex& index, const std::string&) {
            Transaction transaction(index.Db());
            written = transaction.Begun();
            for (const auto& [key, hits] : batch) {
                written = written && index.AddHits(std::string_view(key), hits);
            }
            written = written && transaction.Commit();
        }));
        if (!written) {
            const std::lock_guard lock(m_mutex);
            for (const auto& [key, hits] : batch) {
                m_hits[key] += hits;
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

    std::mutex m_mutex;
    TextCounts m_hits;
    Clock::time_point m_lastFlush = Clock::now();
};

PendingHits& Pending() {
    static PendingHits pending;
    return pending;
}

} // namespace

void CountStoredHit(std::string_view key) {
    Pending().Count(key);
}

bool FlushStoredHits() {
    return Pending().Flush();
}

} // namespace urlcache
