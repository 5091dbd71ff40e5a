// SPDX-License-Identifier: Apache-2.0
// CSynchProgressDlg: the small window that names the subscription being
// synchronized. It lives for one run, takes no input and cannot cancel it.
#pragma once

#include "framework/ui/Dialog.h"
#include "framework/ui/Static.h"

class CSynchProgressDlg : public CDialog {
  public:
    CSynchProgressDlg() = default;
    ~CSynchProgressDlg() override;

    CStatic m_text; // 301

  protected:
    void DoDataExchange(CDataExchange* pDX) override;
};
