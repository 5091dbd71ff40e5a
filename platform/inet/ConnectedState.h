// SPDX-License-Identifier: Apache-2.0
// The library's connected state, shared by every process of the user.
//
// "Offline by the user's choice" is a row in the URL cache's index, so a
// front end that sets it and another process that sends requests agree.
// Without a usable cache the library counts as online.
#pragma once

#include "platform/cache/CacheFailure.h"
#include "platform/kernel/WinTypes.h"

#include <optional>

namespace inet {

/// True while the user has set the library offline.
bool IsOfflineByUser();

/// Whether the user has set the library offline; nothing, with the cache's
/// file and reason in `failure`, when the state cannot be read.
std::optional<bool> OfflineByUser(UrlCacheFailure& failure);

/// Sets or clears the offline-by-user state; false, with the cache's file
/// and reason in `failure` when given, when it cannot be stored.
[[nodiscard]] bool SetOfflineByUser(bool offline, UrlCacheFailure* failure = nullptr);

/// The value of a query of INTERNET_OPTION_CONNECTED_STATE.
DWORD ConnectedStateValue();

} // namespace inet
