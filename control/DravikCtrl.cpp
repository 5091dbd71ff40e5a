#include "control/DravikCtrl.h"

#include "crawler/AllowedLists.h"
#include "foundation/Decimal.h"
#include "resources/ResourceIds.h"

#include <cstdio>
#include <string>

namespace {

const char16_t* const kSlotSuffixes[] = {
    u".Name",     u".Label.Subscription", u".Label.IncludeLinks",
    u".URL1.URL", u".URL1.Depth.Default", u".URL1.Depth.IncludeLinks",
};

/// "S1" to "S6" for slots 0 to 5, then "NS1" to "NS6".
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

/// Global keys have no default of their own. Emptying the shared temporary
/// first makes an absent key give an empty field rather than the text of
/// the key exchanged before it.
void ExchangeGlobal(CPropExchange* px, const char16_t* key, CVELString& temp, CVELString* field) {
    temp.Empty();
    PX_String(px, key, temp);
    if (field != nullptr) {
        field->Assign(temp.GetData());
    }
}

void ExchangeSlot(CPropExchange* px, int index, CSubscription& slot, CVELString& temp) {
    CVELString* texts[] = {&slot.m_name, &slot.m_labelSubscription, &slot.m_labelIncludeLinks,
                           &slot.m_startQuery};
    for (int k = 0; k < 6; ++k) {
        PX_String(px, SlotKey(index, kSlotSuffixes[k]).GetData(), temp, u"");
        if (k < 4) {
            texts[k]->Assign(temp.GetData());
        } else {
            (k == 4 ? slot.m_nDepthDefault : slot.m_nDepthIncludeLinks) =
                ParseDecimal(temp.GetData());
        }
    }
}

} // namespace

CDravikCtrl::CDravikCtrl() : m_pPanel(std::make_unique<CDravikPanel>()) {}

CDravikCtrl::~CDravikCtrl() = default;

int CDravikCtrl::OnCreate() {
    if (!m_pPanel->Create(IDD_DRAVIK_PANEL, this)) {
        return -1;
    }
    m_pPanel->ShowWindow(SW_SHOWNORMAL);
    return 0;
}

void CDravikCtrl::DoPropExchange(CPropExchange* px) {
    DWORD version = kVersion;
    px->ExchangeVersion(version, kVersion, TRUE);
    // The control has no stock properties to exchange.

    CDravikPanel& p = *m_pPanel;
    if (p.m_orxPath.GetLength() != 0) {
        return;
    }
    CVELString temp;
    ExchangeGlobal(px, u"Info.ORXPath", temp, &p.m_orxPath);
    ExchangeGlobal(px, u"Info.HttpRequestHeaders", temp, &p.m_requestHeaders);
    ExchangeGlobal(px, u"Info.UserName", temp, &p.m_userName);
    ExchangeGlobal(px, u"Info.InvokeMethods", temp, nullptr);
    ParseList(temp.GetData(), g_allowedMethods);
    ExchangeGlobal(px, u"Info.ORXCommands", temp, nullptr);
    ParseList(temp.GetData(), g_allowedCommands);
    ExchangeGlobal(px, u"Label.SynchronizeButton", temp, &p.m_labelSynchronize);
    ExchangeGlobal(px, u"Label.OutsideLinks", temp, &p.m_labelOutsideLinks);
    ExchangeGlobal(px, u"Label.Title", temp, &p.m_title);
    ExchangeGlobal(px, u"Msg.NoUsername", temp, &p.m_msgNoUsername);
    ExchangeGlobal(px, u"Msg.SynchInProgress", temp, &p.m_msgSynchInProgress);
    ExchangeGlobal(px, u"Msg.SynchFailed", temp, &p.m_msgSynchFailed);
    ExchangeGlobal(px, u"Msg.SynchComplete", temp, &p.m_msgSynchComplete);
    for (int i = 0; i < kSlotCount; ++i) {
        ExchangeSlot(px, i, p.m_slots[i], temp);
    }
}

void CDravikCtrl::OnResetState() {
    PropertyBag none;
    CPropExchange reset(CPropExchange::Mode::Reset, none);
    DoPropExchange(&reset);
}
