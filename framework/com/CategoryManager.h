// SPDX-License-Identifier: Apache-2.0
// The component categories manager: registers categories (what a class is
// fit for, such as being safe for scripting) and which classes implement
// them.
//
// A category is HKEY_CLASSES_ROOT\Component Categories\{catid} with one
// value per locale, named by the locale in hex ("409"), holding the
// description. A class implementing it has the key
// CLSID\{clsid}\Implemented Categories\{catid}.
#pragma once

#include "framework/com/Unknown.h"

/// The platform's manager class, created with CoCreateInstance.
constexpr CLSID CLSID_StdComponentCategoriesMgr = {
    0x0002E005, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

/// Controls whose persistent data cannot make them do harm.
constexpr CATID CATID_SafeForInitializing = {
    0x7DD95802, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}};
/// Controls whose scripting interface cannot make them do harm.
constexpr CATID CATID_SafeForScripting = {
    0x7DD95801, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}};

/// One category with its description in one locale. The description is
/// at most 127 units and zero-terminated.
struct CATEGORYINFO {
    CATID catid;
    LCID lcid;
    char16_t szDescription[128];
};

struct ICatRegister : IUnknown {
    static constexpr IID kIID = {
        0x0002E012, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

    virtual HRESULT RegisterCategories(ULONG cCategories, CATEGORYINFO rgCategoryInfo[]) = 0;
    virtual HRESULT RegisterClassImplCategories(REFCLSID rclsid, ULONG cCategories,
                                                CATID rgcatid[]) = 0;

  protected:
    ~ICatRegister() = default;
};

constexpr IID IID_ICatRegister = ICatRegister::kIID;

/// The class object of CLSID_StdComponentCategoriesMgr (for CoGetClassObject).
HRESULT GetCategoriesManagerClassObject(REFIID riid, void** ppv);
