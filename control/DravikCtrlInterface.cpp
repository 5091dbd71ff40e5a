// The control's own interface: what our front ends read of the panel.
#include "control/DravikCtrl.h"

HRESULT CDravikCtrl::QueryInterface(REFIID riid, void** ppvObject) {
    if (ppvObject != nullptr && riid == IID_IDravikControl) {
        *ppvObject = static_cast<IDravikControl*>(this);
        AddRef();
        return S_OK;
    }
    return COleControl::QueryInterface(riid, ppvObject);
}

HRESULT CDravikCtrl::GetPanel(CDialog** ppPanel) {
    if (ppPanel == nullptr) {
        return E_POINTER;
    }
    *ppPanel = m_pPanel->IsWindow() ? m_pPanel.get() : nullptr;
    return *ppPanel != nullptr ? S_OK : E_UNEXPECTED;
}

HRESULT CDravikCtrl::GetSlot(int index, DravikSlotInfo* pInfo) {
    if (pInfo == nullptr) {
        return E_POINTER;
    }
    if (index < 0 || index >= kCheckBoxSlots) {
        return E_INVALIDARG;
    }
    const CSubscription& slot = m_pPanel->m_slots[index];
    *pInfo = {slot.m_name.GetData(), slot.m_labelSubscription.GetData(),
              slot.m_labelIncludeLinks.GetData(), kSubscriptionBoxIds[index],
              kIncludeLinksBoxIds[index]};
    return S_OK;
}

HRESULT CDravikCtrl::GetEngineAddress(const char16_t** ppAddress) {
    if (ppAddress == nullptr) {
        return E_POINTER;
    }
    *ppAddress = m_pPanel->m_orxPath.GetData();
    return S_OK;
}

HRESULT CDravikCtrl::GetLastRun(DravikRunResult* pResult) {
    if (pResult == nullptr) {
        return E_POINTER;
    }
    // Every caller knows at least the fields of the first version.
    if (pResult->cbSize < sizeof(DravikRunResult)) {
        return E_INVALIDARG;
    }
    pResult->outcome = m_pPanel->LastOutcome();
    pResult->failedSlot = m_pPanel->FailedSlot();
    return S_OK;
}
