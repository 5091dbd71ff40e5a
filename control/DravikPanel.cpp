// SPDX-License-Identifier: Apache-2.0
#include "control/DravikPanel.h"

#include "control/resources/ResourceIds.h"
#include "framework/ui/MessageBox.h"
#include "platform/inet/WinInet.h"
#include "platform/kernel/LastError.h"

namespace {

/// The library's connected state; FALSE when it cannot be asked.
BOOL QueryConnectedState(DWORD& state) {
    DWORD length = sizeof state;
    return InternetQueryOptionW(nullptr, INTERNET_OPTION_CONNECTED_STATE, &state, &length);
}

} // namespace

CDravikPanel::CDravikPanel() {
    MapClick(IDC_SYNCHRONIZE, [this] { OnSynchronize(); });
    for (int i = 0; i < kCheckBoxSlots; ++i) {
        MapClick(kSubscriptionBoxIds[i], [this, i] { OnSubscriptionClicked(i); });
    }
}

CDravikPanel::~CDravikPanel() {
    DestroyWindow();
}

void CDravikPanel::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    for (int i = 0; i < kCheckBoxSlots; ++i) {
        DDX_Control(pDX, kSubscriptionBoxIds[i], m_chkSubscription[i]);
        DDX_Control(pDX, kIncludeLinksBoxIds[i], m_chkIncludeLinks[i]);
    }
    DDX_Control(pDX, IDC_SYNCHRONIZE, m_btnSynchronize);
    DDX_Control(pDX, IDC_FOLLOW_OUTSIDE_LINKS, m_chkOutsideLinks);
}

BOOL CDravikPanel::OnInitDialog() {
    CDialog::OnInitDialog();
    m_btnSynchronize.SetWindowText(m_labelSynchronize);
    m_chkOutsideLinks.SetWindowText(m_labelOutsideLinks);
    for (int i = 0; i < kCheckBoxSlots; ++i) {
        m_slots[i].m_pSubscriptionBox = &m_chkSubscription[i];
        m_slots[i].m_pIncludeLinksBox = &m_chkIncludeLinks[i];
    }
    LoadSettings();
    m_btnSynchronize.SetFocus();
    return FALSE; // the focus is set
}

void CDravikPanel::OnSubscriptionClicked(int slot) {
    // The include-links box can only be checked while its subscription is.
    const bool checked = m_chkSubscription[slot].GetCheck() != BST_UNCHECKED;
    if (!checked) {
        m_chkIncludeLinks[slot].SetCheck(BST_UNCHECKED);
    }
    m_chkIncludeLinks[slot].EnableWindow(checked ? TRUE : FALSE);
}

COLORREF CDravikPanel::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor) {
    CDialog::OnCtlColor(pDC, pWnd, nCtlColor);
    // The whole control is white: the dialog and every control on it.
    pDC->SetBkColor(kWhite);
    return m_whiteBrush;
}

void CDravikPanel::OnSynchronize() {
    m_bFollowOutsideLinks = m_chkOutsideLinks.GetCheck() != BST_UNCHECKED ? TRUE : FALSE;
    if (m_userName.GetLength() == 0) {
        m_lastOutcome = RunOutcome::kNoUserName;
        MessageBoxW(this, m_msgNoUsername.GetData(), m_title.GetData(), MB_ICONEXCLAMATION);
        return;
    }
    if (!GoOnlineIfOffline()) {
        m_lastOutcome = RunOutcome::kOffline;
        return;
    }
    SynchronizeAll();
}

bool CDravikPanel::GoOnlineIfOffline() {
    DWORD state = 0;
    // A state that cannot be asked counts as online.
    if (!QueryConnectedState(state) || !(state & INTERNET_STATE_DISCONNECTED_BY_USER)) {
        return true;
    }
    if (!InternetGoOnlineW(m_orxPath.GetData(), static_cast<HWND>(this), 0)) {
        return false;
    }
    return QueryConnectedState(state) && !(state & INTERNET_STATE_DISCONNECTED_BY_USER);
}
