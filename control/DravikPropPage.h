// SPDX-License-Identifier: Apache-2.0
// CDravikPropPage: the control's property page, "General".
//
// Built on dialog 200 with caption string 200. The control has no property
// a user could set here, so the page shows none and changes nothing.
#pragma once

#include "framework/com/OlePropertyPage.h"

class CDravikPropPage : public COlePropertyPage {
  public:
    CDravikPropPage();
    ~CDravikPropPage() override;

  protected:
    void DoDataExchange(CDataExchange* pDX) override;
};
