// SPDX-License-Identifier: Apache-2.0
#include "control/DravikCtrl.h"

#include "control/ModuleState.h"
#include "control/resources/ConfigKeys.h"
#include "control/resources/ResourceIds.h"
#include "control/resources/Strings.h"
#include "crawler/AllowedLists.h"
#include "foundation/Decimal.h"

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
    CVELString* texts[] = {&slot.m_name, &slot.m_labelSubscription, &slot.m_labelIncludeLinks,
                           &slot.m_startQuery};
    for (int k = 0; k < kSlotKeyCount; ++k) {
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
    CVELString* const fields[kGlobalKeyCount] = {
        &p.m_orxPath,
        &p.m_requestHeaders,
        &p.m_userName,
        nullptr,
        nullptr,
        &p.m_labelSynchronize,
        &p.m_labelOutsideLinks,
        &p.m_title,
        &p.m_msgNoUsername,
        &p.m_msgSynchInProgress,
        &p.m_msgSynchFailed,
        &p.m_msgSynchComplete,
    };
    CVELString temp;
    for (int k = 0; k < kGlobalKeyCount; ++k) {
        ExchangeGlobal(px, kGlobalKeys[k], temp, fields[k]);
        if (k == 3) {
            ParseList(temp.GetData(), g_allowedMethods);
        } else if (k == 4) {
            ParseList(temp.GetData(), g_allowedCommands);
        }
    }
    for (int i = 0; i < kSlotCount; ++i) {
        ExchangeSlot(px, i, p.m_slots[i], temp);
    }
}
