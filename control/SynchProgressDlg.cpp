// SPDX-License-Identifier: Apache-2.0
#include "control/SynchProgressDlg.h"

#include "control/resources/ResourceIds.h"

CSynchProgressDlg::~CSynchProgressDlg() {
    DestroyWindow();
}

void CSynchProgressDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_PROGRESS_TEXT, m_text);
}
