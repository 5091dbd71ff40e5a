// SPDX-License-Identifier: Apache-2.0
#include "control/resources/ConfigKeys.h"

#include <cstdio>

const char16_t* const kGlobalKeys[kGlobalKeyCount] = {
    u"Info.ORXPath",     u"Info.HttpRequestHeaders", u"Info.UserName",      u"Info.InvokeMethods",
    u"Info.ORXCommands", u"Label.SynchronizeButton", u"Label.OutsideLinks", u"Label.Title",
    u"Msg.NoUsername",   u"Msg.SynchInProgress",     u"Msg.SynchFailed",    u"Msg.SynchComplete",
};

const char16_t* const kSlotSuffixes[kSlotKeyCount] = {
    u".Name",     u".Label.Subscription", u".Label.IncludeLinks",
    u".URL1.URL", u".URL1.Depth.Default", u".URL1.Depth.IncludeLinks",
};

CVELString SlotKey(int slot, const char16_t* suffix) {
    char prefix[8];
    std::snprintf(prefix, sizeof prefix, slot < kCheckBoxSlots ? "S%d" : "NS%d",
                  slot % kCheckBoxSlots + 1);
    CVELString key;
    for (const char* c = prefix; *c != 0; ++c) {
        key.AppendChar(static_cast<char16_t>(*c));
    }
    key.Append(suffix);
    return key;
}

std::vector<std::u16string> ConfigurationKeys() {
    std::vector<std::u16string> keys(kGlobalKeys, kGlobalKeys + kGlobalKeyCount);
    for (int slot = 0; slot < kSlotCount; ++slot) {
        for (const char16_t* suffix : kSlotSuffixes) {
            const CVELString key = SlotKey(slot, suffix);
            keys.emplace_back(key.GetData(), static_cast<std::size_t>(key.GetLength()));
        }
    }
    return keys;
}
