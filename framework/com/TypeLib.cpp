// SPDX-License-Identifier: Apache-2.0
#include "framework/com/TypeLib.h"

#include "framework/com/Registry.h"
#include "platform/kernel/FaultInjection.h"

#include <cstdio>
#include <vector>

namespace {

std::u16string Ascii(const char* text) {
    return std::u16string(text, text + std::char_traits<char>::length(text));
}

std::u16string Hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", value);
    return Ascii(text);
}

std::u16string Decimal(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%u", value);
    return Ascii(text);
}

std::u16string VersionText(WORD major, WORD minor) {
    return Decimal(major) + u"." + Decimal(minor);
}

/// One registry text write: key below HKEY_CLASSES_ROOT, value name (null
/// for the default value), text.
struct Record {
    std::u16string key;
    const char16_t* value;
    std::u16string text;
};

std::vector<Record> Records(const TypeLibraryInfo& lib, const char16_t* fullPath,
                            const char16_t* helpDir) {
    const std::u16string version = TypeLibVersionKey(lib.libid, lib.majorVersion, lib.minorVersion);
    const std::u16string libid = GuidToString(lib.libid);
    std::vector<Record> records = {
        {version, nullptr, lib.helpString},
        {version, u"Name", lib.name},
        {version, u"HelpFile", lib.helpFile},
        {version + u"\\" + Hex(lib.lcid) + u"\\linux", nullptr, fullPath},
        {version + u"\\FLAGS", nullptr, u"0"},
        {version + u"\\HELPDIR", nullptr, helpDir != nullptr ? helpDir : u""},
    };
    for (const TypeEntry* entry : {&lib.dispatchInterface, &lib.eventInterface}) {
        const std::u16string key = u"Interface\\" + GuidToString(entry->guid);
        records.push_back({key, nullptr, entry->name});
        records.push_back({key, u"HelpString", entry->helpString});
        records.push_back({key + u"\\TypeLib", nullptr, libid});
        records.push_back(
            {key + u"\\TypeLib", u"Version", VersionText(lib.majorVersion, lib.minorVersion)});
    }
    return records;
}

} // namespace

std::u16string TypeLibVersionKey(REFGUID libid, WORD major, WORD minor) {
    return u"TypeLib\\" + GuidToString(libid) + u"\\" + VersionText(major, minor);
}

HRESULT RegisterTypeLib(const TypeLibraryInfo& lib, const char16_t* fullPath,
                        const char16_t* helpDir) {
    if (fullPath == nullptr || *fullPath == 0) {
        return E_INVALIDARG;
    }
    if (FaultInjected("RegisterTypeLib")) {
        return TYPE_E_REGISTRYACCESS;
    }
    for (const Record& r : Records(lib, fullPath, helpDir)) {
        if (RegSetString(HKEY_CLASSES_ROOT, r.key, r.value, r.text) != ERROR_SUCCESS) {
            return TYPE_E_REGISTRYACCESS;
        }
    }
    return S_OK;
}

HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID) {
    if (FaultInjected("UnRegisterTypeLib")) {
        return TYPE_E_REGISTRYACCESS;
    }
    const std::u16string version = TypeLibVersionKey(libID, wVerMajor, wVerMinor);
    HKEY key = nullptr;
    const LSTATUS opened = RegOpenKeyExW(HKEY_CLASSES_ROOT, version.c_str(), 0, KEY_READ, &key);
    if (opened == ERROR_FILE_NOT_FOUND) {
        return TYPE_E_LIBNOTREGISTERED;
    }
    if (opened != ERROR_SUCCESS) {
        return TYPE_E_REGISTRYACCESS;
    }
    RegCloseKey(key);
    // The interfaces that name this library and version as theirs.
    const std::u16string libid = GuidToString(libID);
    const std::u16string versionText = VersionText(wVerMajor, wVerMinor);
    for (const std::u16string& iid : RegSubkeyNames(HKEY_CLASSES_ROOT, u"Interface")) {
        const std::u16string typeLib = u"Interface\\" + iid + u"\\TypeLib";
        if (RegGetString(HKEY_CLASSES_ROOT, typeLib, nullptr) == libid &&
            RegGetString(HKEY_CLASSES_ROOT, typeLib, u"Version") == versionText) {
            const std::u16string path = u"Interface\\" + iid;
            if (RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str()) != ERROR_SUCCESS) {
                return TYPE_E_REGISTRYACCESS;
            }
        }
    }
    if (RegDeleteTreeW(HKEY_CLASSES_ROOT, version.c_str()) != ERROR_SUCCESS) {
        return TYPE_E_REGISTRYACCESS;
    }
    // The library's key goes with its last version.
    const std::u16string library = u"TypeLib\\" + libid;
    if (RegSubkeyNames(HKEY_CLASSES_ROOT, library).empty()) {
        const LSTATUS status = RegDeleteKeyW(HKEY_CLASSES_ROOT, library.c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
            return TYPE_E_REGISTRYACCESS;
        }
    }
    return S_OK;
}
