// SPDX-License-Identifier: Apache-2.0
#include "control/DravikPropPage.h"

#include "control/ModuleState.h"
#include "control/resources/ResourceIds.h"
#include "control/resources/Strings.h"

CDravikPropPage::CDravikPropPage()
    : COlePropertyPage(AfxGetResourceHandle(), IDD_PROPPAGE, IDS_DRAVIK_PPG_CAPTION) {
    AfxOleLockApp();
}

CDravikPropPage::~CDravikPropPage() {
    AfxOleUnlockApp();
}

void CDravikPropPage::DoDataExchange(CDataExchange* pDX) {
    DDP_PostProcessing(pDX);
}
