// SPDX-License-Identifier: Apache-2.0
// The control's own interface: what our front ends read of the panel.
#include "control/DravikCtrl.h"

#include "net/InternetSession.h"
#include <cstddef>

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
    // Every caller knows at least the fields of the first version; later
    // fields are filled only when the caller's structure has them.
    if (pResult->cbSize < offsetof(DravikRunResult, dwEmptyTexts)) {
        return E_INVALIDARG;
    }
    pResult->outcome = m_pPanel->LastOutcome();
    pResult->failedSlot = m_pPanel->FailedSlot();
    if (pResult->cbSize >= sizeof(DravikRunResult)) {
        const CDravikPanel& p = *m_pPanel;
        pResult->dwEmptyTexts = (p.m_title.GetLength() == 0 ? kEmptyTitle : 0) |
                                (p.m_msgNoUsername.GetLength() == 0 ? kEmptyNoUsername : 0) |
                                (p.m_msgSynchComplete.GetLength() == 0 ? kEmptySynchComplete : 0) |
                                (p.m_msgSynchFailed.GetLength() == 0 ? kEmptySynchFailed : 0);
    }
    return S_OK;
}

HRESULT CDravikCtrl::GetSlotReport(int index, const char16_t** ppName,
                                   const CCrawlReport** ppReport) {
    if (ppName == nullptr || ppReport == nullptr) {
        return E_POINTER;
    }
    if (index < 0 || index >= kSlotCount) {
        return E_INVALIDARG;
    }
    *ppName = m_pPanel->m_slots[index].m_name.GetData();
    *ppReport = &m_pPanel->m_slots[index].m_report;
    return S_OK;
}

HRESULT CDravikCtrl::GetSettingsReport(const DravikSettingsReport** ppReport) {
    if (ppReport == nullptr) {
        return E_POINTER;
    }
    *ppReport = &m_pPanel->LastSettingsReport();
    return S_OK;
}

HRESULT CDravikCtrl::GetInternetSession(HINTERNET* phInternet) {
    if (phInternet == nullptr) {
        return E_POINTER;
    }
    *phInternet = g_hInternet;
    return g_hInternet != nullptr ? S_OK : E_UNEXPECTED;
}

HRESULT CDravikCtrl::GetTitle(const char16_t** ppTitle) {
    if (ppTitle == nullptr) {
        return E_POINTER;
    }
    *ppTitle = m_pPanel->m_title.GetData();
    return S_OK;
}

HRESULT CDravikCtrl::SetConnections(int connections) {
    if (connections < 1 || connections > kMaxConnections) {
        return E_INVALIDARG;
    }
    m_pPanel->m_nConnections = connections;
    return S_OK;
}

HRESULT CDravikCtrl::SetHttp2(BOOL offer) {
    m_pPanel->m_bHttp2 = offer != FALSE ? TRUE : FALSE;
    return S_OK;
}

HRESULT CDravikCtrl::GetHttp2(BOOL* pOffer) {
    if (pOffer == nullptr) {
        return E_POINTER;
    }
    *pOffer = m_pPanel->m_bHttp2;
    return S_OK;
}

HRESULT CDravikCtrl::GetConnections(int* pConnections) {
    if (pConnections == nullptr) {
        return E_POINTER;
    }
    *pConnections = m_pPanel->m_nConnections;
    return S_OK;
}
