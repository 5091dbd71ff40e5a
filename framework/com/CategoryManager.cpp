// SPDX-License-Identifier: Apache-2.0
#include "framework/com/CategoryManager.h"

#include "framework/com/Registry.h"
#include "platform/kernel/FaultInjection.h"

#include <cstdio>
#include <iterator>
#include <string>

namespace {

std::u16string CategoryKey(const CATID& catid) {
    return u"Component Categories\\" + GuidToString(catid);
}

std::u16string ImplementedKey(REFCLSID clsid, const CATID& catid) {
    return u"CLSID\\" + GuidToString(clsid) + u"\\Implemented Categories\\" + GuidToString(catid);
}

/// The locale as the value name: hex without leading zeros, as "409".
std::u16string LocaleName(LCID lcid) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(lcid));
    return std::u16string(text, text + std::char_traits<char>::length(text));
}

HRESULT FromStatus(LSTATUS status) {
    return status == ERROR_SUCCESS ? S_OK : REGDB_E_WRITEREGDB;
}

class CCategoriesManager final : public CUnknownImpl<ICatRegister> {
  public:
    HRESULT RegisterCategories(ULONG cCategories, CATEGORYINFO rgCategoryInfo[]) override {
        if (cCategories != 0 && rgCategoryInfo == nullptr) {
            return E_POINTER;
        }
        if (FaultInjected("RegisterCategories")) {
            return REGDB_E_WRITEREGDB;
        }
        for (ULONG i = 0; i < cCategories; ++i) {
            const CATEGORYINFO& info = rgCategoryInfo[i];
            // The record holds at most 128 units; a description is read up
            // to its terminator or the end of the record, whichever is first.
            std::size_t length = 0;
            while (length < std::size(info.szDescription) && info.szDescription[length] != 0) {
                ++length;
            }
            const std::u16string_view description(info.szDescription, length);
            const std::u16string locale = LocaleName(info.lcid);
            const LSTATUS status = RegSetString(HKEY_CLASSES_ROOT, CategoryKey(info.catid),
                                                locale.c_str(), description);
            if (status != ERROR_SUCCESS) {
                return FromStatus(status);
            }
        }
        return S_OK;
    }
    HRESULT RegisterClassImplCategories(REFCLSID rclsid, ULONG cCategories,
                                        CATID rgcatid[]) override {
        if (cCategories != 0 && rgcatid == nullptr) {
            return E_POINTER;
        }
        if (FaultInjected("RegisterClassImplCategories")) {
            return REGDB_E_WRITEREGDB;
        }
        for (ULONG i = 0; i < cCategories; ++i) {
            HKEY key = nullptr;
            const std::u16string path = ImplementedKey(rclsid, rgcatid[i]);
            const LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0,
                                                   KEY_WRITE, nullptr, &key, nullptr);
            if (status != ERROR_SUCCESS) {
                return FromStatus(status);
            }
            RegCloseKey(key);
        }
        return S_OK;
    }
};

/// The manager's class object lives as long as the process: it is not counted.
class CCategoriesManagerFactory final : public IClassFactory {
  public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        *ppv = riid == IID_IUnknown || riid == IID_IClassFactory ? this : nullptr;
        return *ppv != nullptr ? S_OK : E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        auto* manager = new CCategoriesManager;
        manager->AddRef();
        const HRESULT hr = manager->QueryInterface(riid, ppv);
        manager->Release();
        return hr;
    }
    HRESULT LockServer(BOOL) override { return S_OK; }
};

} // namespace

HRESULT GetCategoriesManagerClassObject(REFIID riid, void** ppv) {
    static CCategoriesManagerFactory factory;
    return factory.QueryInterface(riid, ppv);
}
