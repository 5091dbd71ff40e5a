// SPDX-License-Identifier: Apache-2.0
#include "platform/cache/RecentBodies.h"

#include "platform/cache/KeptCopies.h"

#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>

namespace urlcache {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kFreshFor = std::chrono::seconds(1);
constexpr std::size_t kMostKept = 256; // open files held at most

/// Moves the entry's text addresses from `from` to `to`, both the start of
/// a buffer holding the same bytes.
void Rebase(INTERNET_CACHE_ENTRY_INFOW& entry, const void* from, void* to) {
    const auto move = [&](char16_t*& text) {
        if (text != nullptr) {
            const auto offset =
                reinterpret_cast<const char*>(text) - static_cast<const char*>(from);
            text = reinterpret_cast<char16_t*>(static_cast<char*>(to) + offset);
        }
    };
    move(entry.lpszSourceUrlName);
    move(entry.lpszLocalFileName);
    move(entry.lpHeaderInfo);
    move(entry.lpszFileExtension);
}

struct Kept {
    RecentBody body;
    Clock::time_point opened;
};

class Recent {
  public:
    std::optional<RecentBody> Find(std::u16string_view url) {
        const std::lock_guard lock(m_mutex);
        const auto found = m_kept.find(std::u16string(url));
        if (found == m_kept.end()) {
            return std::nullopt;
        }
        if (Clock::now() - found->second.opened > kFreshFor) {
            m_kept.erase(found);
            return std::nullopt;
        }
        return found->second.body;
    }

    void Keep(std::u16string_view url, RecentBody body) {
        const std::lock_guard lock(m_mutex);
        if (m_kept.size() >= kMostKept) {
            m_kept.clear();
        }
        m_kept[std::u16string(url)] = {std::move(body), Clock::now()};
    }

    void Clear() {
        const std::lock_guard lock(m_mutex);
        m_kept.clear();
    }

  private:
    std::mutex m_mutex;
    std::unordered_map<std::u16string, Kept> m_kept;
};

Recent& TheRecent() {
    static Recent recent;
    return recent;
}

} // namespace

std::optional<RecentBody> FindRecentBody(std::u16string_view url) {
    return TheRecent().Find(url);
}

void KeepRecentBody(std::u16string_view url, std::shared_ptr<const FileDescriptor> body,
                    const INTERNET_CACHE_ENTRY_INFOW& entry, DWORD entrySize) {
    auto bytes = std::make_shared<std::vector<char>>(entrySize);
    std::memcpy(bytes->data(), &entry, entrySize);
    Rebase(*reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(bytes->data()), &entry, bytes->data());
    TheRecent().Keep(url, {std::move(body), std::move(bytes)});
}

void ForgetRecentBodies() {
    TheRecent().Clear();
    ForgetKeptCopies();
}

bool CopyKeptEntry(const std::vector<char>& entry, INTERNET_CACHE_ENTRY_INFOW* out, DWORD* size) {
    if (out == nullptr || *size < entry.size()) {
        *size = static_cast<DWORD>(entry.size());
        return false;
    }
    std::memcpy(out, entry.data(), entry.size());
    Rebase(*out, entry.data(), out);
    *size = static_cast<DWORD>(entry.size());
    return true;
}

} // namespace urlcache
