// SPDX-License-Identifier: Apache-2.0
#include "control/DravikCtrl.h"

#include "control/ModuleState.h"
#include "control/resources/ConfigKeys.h"
#include "control/resources/ResourceIds.h"
#include "control/resources/Strings.h"
#include "control/resources/TypeLibrary.h"
#include "crawler/AllowedLists.h"
#include "foundation/Decimal.h"

#include <iterator>
#include <string>

namespace {

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
    for (const SlotKeySuffix& key : kSlotKeys) {
        PX_String(px, SlotKey(index, key.suffix).GetData(), temp, u"");
        switch (key.field) {
        case SlotField::Name:
            slot.m_name.Assign(temp.GetData());
            break;
        case SlotField::LabelSubscription:
            slot.m_labelSubscription.Assign(temp.GetData());
            break;
        case SlotField::LabelIncludeLinks:
            slot.m_labelIncludeLinks.Assign(temp.GetData());
            break;
        case SlotField::StartUrl:
            slot.m_startQuery.Assign(temp.GetData());
            break;
        case SlotField::DepthDefault:
            slot.m_nDepthDefault = ParseDecimal(temp.GetData());
            break;
        case SlotField::DepthIncludeLinks:
            slot.m_nDepthIncludeLinks = ParseDecimal(temp.GetData());
            break;
        }
    }
}

/// The panel's field for a global key's text; null for the two lists.
CVELString* TextField(CDravikPanel& p, GlobalField field) {
    switch (field) {
    case GlobalField::OrxPath:
        return &p.m_orxPath;
    case GlobalField::RequestHeaders:
        return &p.m_requestHeaders;
    case GlobalField::UserName:
        return &p.m_userName;
    case GlobalField::LabelSynchronize:
        return &p.m_labelSynchronize;
    case GlobalField::LabelOutsideLinks:
        return &p.m_labelOutsideLinks;
    case GlobalField::Title:
        return &p.m_title;
    case GlobalField::MsgNoUsername:
        return &p.m_msgNoUsername;
    case GlobalField::MsgSynchInProgress:
        return &p.m_msgSynchInProgress;
    case GlobalField::MsgSynchFailed:
        return &p.m_msgSynchFailed;
    case GlobalField::MsgSynchComplete:
        return &p.m_msgSynchComplete;
    case GlobalField::AllowedMethods:
    case GlobalField::AllowedCommands:
        return nullptr;
    }
    return nullptr;
}

} // namespace

CDravikCtrl::CDravikCtrl() : m_pPanel(std::make_unique<CDravikPanel>()) {
    AfxOleLockApp();
}

CDravikCtrl::~CDravikCtrl() {
    AfxOleUnlockApp();
}

int CDravikCtrl::OnCreate() {
    if (COleControl::OnCreate() == -1) {
        return -1;
    }
    OnActivateInPlace(TRUE, nullptr);
    if (!m_pPanel->Create(AfxGetResourceHandle(), IDD_DRAVIK_PANEL, this)) {
        return -1;
    }
    m_pPanel->ShowWindow(SW_SHOWNORMAL);
    return 0;
}

void CDravikCtrl::OnDestroy() {
    // The panel window is a child of the control's and goes with it.
    m_pPanel->DestroyWindow();
    COleControl::OnDestroy();
}

void CDravikCtrl::OnDraw(CDC* pDC, const RECT& rcBounds, const RECT&) {
    pDC->FillRect(rcBounds, GetStockObject(WHITE_BRUSH));
}

int CDravikCtrl::OnMouseActivate(CWnd* pDesktopWnd, UINT nHitTest, UINT message) {
    OnActivateInPlace(TRUE, nullptr);
    return COleControl::OnMouseActivate(pDesktopWnd, nHitTest, message);
}

const CLSID* CDravikCtrl::GetPropPageIDs(ULONG& count) {
    static constexpr CLSID kPages[] = {CLSID_DravikPropPage};
    count = static_cast<ULONG>(std::size(kPages));
    return kPages;
}

void CDravikCtrl::DoPropExchange(CPropExchange* px) {
    DWORD version = kVersion;
    px->ExchangeVersion(version, kVersion, TRUE);
    COleControl::DoPropExchange(px);

    CDravikPanel& p = *m_pPanel;
    if (p.m_orxPath.GetLength() != 0) {
        return;
    }
    // Every key goes through one temporary text; the two lists are parsed
    // from it, every other global key lands in its field.
    CVELString temp;
    for (const GlobalKey& key : kGlobalKeys) {
        ExchangeGlobal(px, key.name, temp, TextField(p, key.field));
        if (key.field == GlobalField::AllowedMethods) {
            ParseList(temp.GetData(), g_allowedMethods);
        } else if (key.field == GlobalField::AllowedCommands) {
            ParseList(temp.GetData(), g_allowedCommands);
        }
    }
    for (int i = 0; i < kSlotCount; ++i) {
        ExchangeSlot(px, i, p.m_slots[i], temp);
    }
}
