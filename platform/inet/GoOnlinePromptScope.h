// SPDX-License-Identifier: Apache-2.0
// A go-online prompt installed for a scope: whatever way the scope ends,
// normally or by an exception, the prompt is removed, so the library never
// calls a prompt whose captures are gone.
#pragma once

#include "platform/inet/WinInet.h"

#include <utility>

class GoOnlinePromptScope {
  public:
    explicit GoOnlinePromptScope(GoOnlinePrompt prompt) { SetGoOnlinePrompt(std::move(prompt)); }
    ~GoOnlinePromptScope() { SetGoOnlinePrompt({}); }
    GoOnlinePromptScope(const GoOnlinePromptScope&) = delete;
    GoOnlinePromptScope& operator=(const GoOnlinePromptScope&) = delete;
};
