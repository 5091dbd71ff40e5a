// SPDX-License-Identifier: Apache-2.0
#include "platform/cache/KeptCopies.h"

#include "platform/cache/CacheStore.h"

#include <chrono>
#include <mutex>
#include <string>
#include <unordered_map>

namespace urlcache {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kFreshFor = std::chrono::seconds(1);
constexpr std::size_t kMostKept = 256; // copies (and open files) held at most

struct Kept {
    std::shared_ptr<const StoredCopy> copy;
    Clock::time_point opened;
};

/// Looks a URL up without making a string of it.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
        return std::hash<std::string_view>{}(text);
    }
};

class Copies {
  public:
    std::shared_ptr<const StoredCopy> Find(std::string_view url) {
        const std::lock_guard lock(m_mutex);
        const auto found = m_kept.find(url);
        if (found == m_kept.end()) {
            return nullptr;
        }
        if (Clock::now() - found->second.opened > kFreshFor) {
            m_kept.erase(found);
            return nullptr;
        }
        return found->second.copy;
    }

    void Keep(std::string_view url, std::shared_ptr<const StoredCopy> copy) {
        const std::lock_guard lock(m_mutex);
        if (m_kept.size() >= kMostKept) {
            m_kept.clear();
        }
        m_kept.insert_or_assign(std::string(url), Kept{std::move(copy), Clock::now()});
    }

    void Clear() {
        const std::lock_guard lock(m_mutex);
        m_kept.clear();
    }

  private:
    std::mutex m_mutex;
    std::unordered_map<std::string, Kept, TextHash, std::equal_to<>> m_kept;
};

Copies& TheCopies() {
    static Copies copies;
    return copies;
}

} // namespace

std::shared_ptr<const StoredCopy> FindKeptCopy(std::string_view url) {
    return TheCopies().Find(url);
}

void KeepCopy(std::string_view url, std::shared_ptr<const StoredCopy> copy) {
    TheCopies().Keep(url, std::move(copy));
}

void ForgetKeptCopies() {
    TheCopies().Clear();
}

} // namespace urlcache
