// SPDX-License-Identifier: Apache-2.0
#include "platform/inet/ConnectedState.h"

#include "platform/cache/UrlCacheStore.h"
#include "platform/inet/WinInet.h"
#include "platform/kernel/LastError.h"

#include <mutex>
#include <utility>

namespace inet {

namespace {

constexpr const char* kOfflineSetting = "offline_by_user";

struct PromptSlot {
    std::mutex mutex;
    GoOnlinePrompt prompt;
};

PromptSlot& ThePrompt() {
    static PromptSlot slot;
    return slot;
}

} // namespace

std::optional<bool> OfflineByUser(UrlCacheFailure& failure) {
    std::int64_t value = 0;
    bool present = false;
    const bool read = urlcache::WithUrlCacheReading(
        [&](urlcache::CacheIndex& index, const std::string&) {
            if (!index.ReadSetting(kOfflineSetting, value, present)) {
                present = false;
            }
        },
        &failure);
    if (!read) {
        return std::nullopt;
    }
    return present && value != 0;
}

bool IsOfflineByUser() {
    UrlCacheFailure ignored;
    return OfflineByUser(ignored).value_or(false);
}

bool SetOfflineByUser(bool offline, UrlCacheFailure* failure) {
    bool written = false;
    const bool used = urlcache::WithUrlCache(
        [&](urlcache::CacheIndex& index, const std::string&) {
            written = index.WriteSetting(kOfflineSetting, offline ? 1 : 0);
        },
        failure);
    if (used && !written && failure != nullptr) {
        *failure = {{}, {}, ERROR_CANTWRITE, u"the state could not be written to the cache index"};
    }
    return written;
}

DWORD ConnectedStateValue() {
    return IsOfflineByUser() ? INTERNET_STATE_DISCONNECTED_BY_USER : INTERNET_STATE_CONNECTED;
}

} // namespace inet

void SetGoOnlinePrompt(GoOnlinePrompt prompt) {
    inet::PromptSlot& slot = inet::ThePrompt();
    const std::lock_guard lock(slot.mutex);
    slot.prompt = std::move(prompt);
}

BOOL InternetGoOnlineW(const char16_t* url, HWND, DWORD) {
    if (!inet::IsOfflineByUser()) {
        return TRUE;
    }
    GoOnlinePrompt prompt;
    {
        inet::PromptSlot& slot = inet::ThePrompt();
        const std::lock_guard lock(slot.mutex);
        prompt = slot.prompt;
    }
    // The prompt runs without the lock: it may take as long as the user.
    if (!prompt || !prompt(url != nullptr ? url : u"")) {
        SetLastError(ERROR_CANCELLED);
        return FALSE;
    }
    if (!inet::SetOfflineByUser(false)) {
        SetLastError(ERROR_INTERNET_INTERNAL_ERROR);
        return FALSE;
    }
    return TRUE;
}
