// SPDX-License-Identifier: Apache-2.0
// The live handles of one kind of cache object, so that a call given a
// stale or foreign handle fails with ERROR_INVALID_HANDLE instead of
// touching freed memory.
#pragma once

#include <memory>
#include <mutex>
#include <unordered_map>

namespace urlcache {

template <typename Object> class HandleRegistry {
  public:
    void* Add(std::shared_ptr<Object> object) {
        void* handle = object.get();
        const std::lock_guard lock(m_mutex);
        m_objects.emplace(handle, std::move(object));
        return handle;
    }

    /// The object behind a live handle, else null. A caller keeps it alive
    /// while it works even if another thread closes the handle meanwhile.
    std::shared_ptr<Object> Find(void* handle) {
        const std::lock_guard lock(m_mutex);
        const auto found = m_objects.find(handle);
        return found == m_objects.end() ? nullptr : found->second;
    }

    /// Takes the object out; null when the handle is not live.
    std::shared_ptr<Object> Take(void* handle) {
        const std::lock_guard lock(m_mutex);
        const auto found = m_objects.find(handle);
        if (found == m_objects.end()) {
            return nullptr;
        }
        std::shared_ptr<Object> object = std::move(found->second);
        m_objects.erase(found);
        return object;
    }

  private:
    std::mutex m_mutex;
    std::unordered_map<void*, std::shared_ptr<Object>> m_objects;
};

} // namespace urlcache
