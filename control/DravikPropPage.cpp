// SPDX-License-Identifier: Apache-2.0
#include "control/DravikPropPage.h"

#include "control/ModuleState.h"
#include "resources/ResourceIds.h"

CDravikPropPage::CDravikPropPage() : COlePropertyPage(IDD_PROPPAGE, IDS_DRAVIK_PPG_CAPTION) {
    AfxOleLockApp();
}

CDravikPropPage::~CDravikPropPage() {
    AfxOleUnlockApp();
}

void CDravikPropPage::DoDataExchange(CDataExchange* pDX) {
    DDP_PostProcessing(pDX);
}
