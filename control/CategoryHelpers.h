// SPDX-License-Identifier: Apache-2.0
// Marking the control's class with component categories through the
// platform's categories manager.
#pragma once

#include "framework/com/CategoryManager.h"

/// Registers category `catid` in locale 0x409 with `catDescription`, cut to
/// 127 units. The manager's failure when it cannot be created.
HRESULT CreateComponentCategory(const CATID& catid, const char16_t* catDescription);
/// Registers `clsid` as implementing category `catid`.
HRESULT RegisterCLSIDInCategory(REFCLSID clsid, const CATID& catid);
