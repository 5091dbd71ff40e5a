// SPDX-License-Identifier: Apache-2.0
// The names of the control's parameters, in the order they are exchanged:
// twelve global keys, then six keys for each slot S1-S6 and NS1-NS6.
#pragma once

#include "foundation/VELString.h"

#include <string>
#include <vector>

/// Subscription slots: S1-S6, then NS1-NS6.
constexpr int kSlotCount = 12;
/// The S slots, which have check boxes on the panel; the NS slots have none.
constexpr int kCheckBoxSlots = 6;

constexpr int kGlobalKeyCount = 12;
constexpr int kSlotKeyCount = 6;

extern const char16_t* const kGlobalKeys[kGlobalKeyCount];
extern const char16_t* const kSlotSuffixes[kSlotKeyCount];

/// "S1" to "S6" for slots 0 to 5, then "NS1" to "NS6", followed by `suffix`.
CVELString SlotKey(int slot, const char16_t* suffix);

/// All 84 keys in exchange order.
std::vector<std::u16string> ConfigurationKeys();
