// SPDX-License-Identifier: Apache-2.0
#include "control/CategoryHelpers.h"

#include "framework/com/ComRuntime.h"

#include <algorithm>
#include <iterator>

HRESULT CreateComponentCategory(const CATID& catid, const char16_t* catDescription) {
    CComPtr<ICatRegister> manager;
    HRESULT hr = CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_ICatRegister, manager.Receive());
    if (FAILED(hr)) {
        return hr;
    }
    CATEGORYINFO info{catid, 0x409, {}};
    const std::u16string_view description(catDescription != nullptr ? catDescription : u"");
    const std::size_t length = std::min(description.size(), std::size(info.szDescription) - 1);
    std::copy_n(description.data(), length, info.szDescription);
    info.szDescription[length] = 0;
    return manager->RegisterCategories(1, &info);
}

HRESULT RegisterCLSIDInCategory(REFCLSID clsid, const CATID& catid) {
    CComPtr<ICatRegister> manager;
    HRESULT hr = CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_ICatRegister, manager.Receive());
    if (SUCCEEDED(hr)) {
        CATID implemented[1] = {catid};
        hr = manager->RegisterClassImplCategories(clsid, 1, implemented);
    }
    return hr;
}
