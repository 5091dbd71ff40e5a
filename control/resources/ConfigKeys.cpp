// SPDX-License-Identifier: Apache-2.0
#include "control/resources/ConfigKeys.h"

#include <cstdio>

const GlobalKey kGlobalKeys[kGlobalKeyCount] = {
    {u"Info.ORXPath", GlobalField::OrxPath},
    {u"Info.HttpRequestHeaders", GlobalField::RequestHeaders},
    {u"Info.UserName", GlobalField::UserName},
    {u"Info.InvokeMethods", GlobalField::AllowedMethods},
    {u"Info.ORXCommands", GlobalField::AllowedCommands},
    {u"Label.SynchronizeButton", GlobalField::LabelSynchronize},
    {u"Label.OutsideLinks", GlobalField::LabelOutsideLinks},
    {u"Label.Title", GlobalField::Title},
    {u"Msg.NoUsername", GlobalField::MsgNoUsername},
    {u"Msg.SynchInProgress", GlobalField::MsgSynchInProgress},
    {u"Msg.SynchFailed", GlobalField::MsgSynchFailed},
    {u"Msg.SynchComplete", GlobalField::MsgSynchComplete},
};

const SlotKeySuffix kSlotKeys[kSlotKeyCount] = {
    {u".Name", SlotField::Name},
    {u".Label.Subscription", SlotField::LabelSubscription},
    {u".Label.IncludeLinks", SlotField::LabelIncludeLinks},
    {u".URL1.URL", SlotField::StartUrl},
    {u".URL1.Depth.Default", SlotField::DepthDefault},
    {u".URL1.Depth.IncludeLinks", SlotField::DepthIncludeLinks},
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
    std::vector<std::u16string> keys;
    for (const GlobalKey& global : kGlobalKeys) {
        keys.emplace_back(global.name);
    }
    for (int slot = 0; slot < kSlotCount; ++slot) {
        for (const SlotKeySuffix& slotKey : kSlotKeys) {
            const CVELString key = SlotKey(slot, slotKey.suffix);
            keys.emplace_back(key.GetData(), static_cast<std::size_t>(key.GetLength()));
        }
    }
    return keys;
}
