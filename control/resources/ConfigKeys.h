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

/// Where the text of a global key goes. The two lists are parsed into the
/// crawl's allowed methods and commands; every other text fills one field.
enum class GlobalField {
    OrxPath,
    RequestHeaders,
    UserName,
    AllowedMethods,
    AllowedCommands,
    LabelSynchronize,
    LabelOutsideLinks,
    Title,
    MsgNoUsername,
    MsgSynchInProgress,
    MsgSynchFailed,
    MsgSynchComplete,
};

/// Where the text of a slot's key goes; the two depths are parsed as numbers.
enum class SlotField {
    Name,
    LabelSubscription,
    LabelIncludeLinks,
    StartUrl,
    DepthDefault,
    DepthIncludeLinks,
};

/// A key and its destination. The exchange and every list of keys walk these
/// tables, so the order of a table is only the order keys are exchanged in:
/// moving a row cannot fill the wrong field.
struct GlobalKey {
    const char16_t* name;
    GlobalField field;
};
struct SlotKeySuffix {
    const char16_t* suffix;
    SlotField field;
};

extern const GlobalKey kGlobalKeys[kGlobalKeyCount];
extern const SlotKeySuffix kSlotKeys[kSlotKeyCount];

/// "S1" to "S6" for slots 0 to 5, then "NS1" to "NS6", followed by `suffix`.
CVELString SlotKey(int slot, const char16_t* suffix);

/// All 84 keys in exchange order.
std::vector<std::u16string> ConfigurationKeys();
