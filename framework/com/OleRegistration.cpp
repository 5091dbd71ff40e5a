// SPDX-License-Identifier: Apache-2.0
#include "framework/com/OleRegistration.h"

#include "framework/com/Registry.h"
#include "framework/ui/ResourceTable.h"
#include "platform/kernel/FaultInjection.h"

#include <string>
#include <vector>

namespace {

std::u16string Decimal(unsigned long value) {
    const std::string text = std::to_string(value);
    return std::u16string(text.begin(), text.end());
}

struct Record {
    std::u16string key;
    const char16_t* value; ///< null: the default value
    std::u16string text;
};

/// Writes the records in order; FALSE at the first that fails.
BOOL WriteAll(const std::vector<Record>& records) {
    for (const Record& r : records) {
        if (RegSetString(HKEY_CLASSES_ROOT, r.key, r.value, r.text) != ERROR_SUCCESS) {
            return FALSE;
        }
    }
    return TRUE;
}

BOOL DeleteTree(const std::u16string& key) {
    const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? TRUE : FALSE;
}

std::u16string TypeName(HINSTANCE hInstance, UINT id) {
    const char16_t* text = LoadResourceString(hInstance, static_cast<int>(id));
    return text != nullptr ? text : u"";
}

void AddServer(std::vector<Record>& records, const std::u16string& classKey,
               const std::u16string& module, int nRegFlags) {
    records.push_back({classKey + u"\\InprocServer32", nullptr, module});
    if ((nRegFlags & afxRegApartmentThreading) != 0) {
        records.push_back({classKey + u"\\InprocServer32", u"ThreadingModel", u"Apartment"});
    }
}

} // namespace

BOOL AfxOleRegisterControlClass(HINSTANCE hInstance, REFCLSID clsid, const char16_t* pszProgID,
                                UINT idTypeName, UINT idBitmap, int nRegFlags, DWORD dwMiscStatus,
                                REFGUID tlid, WORD wVerMajor, WORD wVerMinor) {
    const std::u16string module = ModuleFilePath(hInstance);
    if (module.empty() || pszProgID == nullptr || FaultInjected("RegisterControlClass")) {
        return FALSE;
    }
    const std::u16string typeName = TypeName(hInstance, idTypeName);
    const std::u16string classId = GuidToString(clsid);
    const std::u16string key = u"CLSID\\" + classId;
    const std::u16string progId(pszProgID);
    const bool insertable = (nRegFlags & afxRegInsertable) != 0;
    std::vector<Record> records = {
        {key, nullptr, typeName},
        {key + u"\\ProgID", nullptr, progId},
    };
    AddServer(records, key, module, nRegFlags);
    records.insert(records.end(),
                   {
                       {key + u"\\ToolboxBitmap32", nullptr, module + u", " + Decimal(idBitmap)},
                       {key + u"\\MiscStatus", nullptr, u"0"},
                       {key + u"\\MiscStatus\\1", nullptr, Decimal(dwMiscStatus)},
                       {key + u"\\Control", nullptr, u""},
                   });
    if (insertable) {
        records.push_back({key + u"\\Insertable", nullptr, u""});
    }
    records.insert(records.end(), {
                                      {key + u"\\TypeLib", nullptr, GuidToString(tlid)},
                                      {key + u"\\Version", nullptr,
                                       Decimal(wVerMajor) + u"." + Decimal(wVerMinor)},
                                      {progId, nullptr, typeName},
                                      {progId + u"\\CLSID", nullptr, classId},
                                  });
    if (insertable) {
        records.push_back({progId + u"\\Insertable", nullptr, u""});
    }
    return WriteAll(records);
}

BOOL AfxOleRegisterPropertyPageClass(HINSTANCE hInstance, REFCLSID clsid, UINT idTypeName,
                                     int nRegFlags) {
    const std::u16string module = ModuleFilePath(hInstance);
    if (module.empty() || FaultInjected("RegisterPropertyPageClass")) {
        return FALSE;
    }
    const std::u16string key = u"CLSID\\" + GuidToString(clsid);
    std::vector<Record> records = {{key, nullptr, TypeName(hInstance, idTypeName)}};
    AddServer(records, key, module, nRegFlags);
    return WriteAll(records);
}

BOOL AfxOleUnregisterClass(REFCLSID clsid, const char16_t* pszProgID) {
    if (FaultInjected("UnregisterClass")) {
        return FALSE;
    }
    if (pszProgID != nullptr && *pszProgID != 0 && !DeleteTree(pszProgID)) {
        return FALSE;
    }
    return DeleteTree(u"CLSID\\" + GuidToString(clsid));
}

BOOL AfxOleRegisterTypeLib(HINSTANCE hInstance, const TypeLibraryInfo& lib) {
    const std::u16string module = ModuleFilePath(hInstance);
    const std::u16string folder = module.substr(0, module.rfind(u'/'));
    return SUCCEEDED(RegisterTypeLib(lib, module.c_str(), folder.c_str())) ? TRUE : FALSE;
}

BOOL AfxOleUnregisterTypeLib(REFGUID tlid, WORD wVerMajor, WORD wVerMinor, LCID lcid) {
    const HRESULT hr = UnRegisterTypeLib(tlid, wVerMajor, wVerMinor, lcid);
    return SUCCEEDED(hr) || hr == TYPE_E_LIBNOTREGISTERED ? TRUE : FALSE;
}
