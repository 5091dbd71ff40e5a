// SPDX-License-Identifier: Apache-2.0
// `dravik info [--json] [--bitmap FILE]`: what the registry holds for the
// control, whether its module loads, and its toolbox bitmap as a file.
#include "control/resources/Bitmaps.h"
#include "control/resources/ResourceIds.h"
#include "control/resources/TypeLibrary.h"
#include "framework/com/CategoryManager.h"
#include "framework/com/ComRuntime.h"
#include "framework/com/ModuleLoader.h"
#include "framework/com/OlePropertyPage.h"
#include "framework/com/Registry.h"
#include "host/Commands.h"
#include "host/common/ControlHost.h"
#include "host/common/ModuleRegistration.h"
#include "host/common/OutputText.h"
#include "platform/text/Utf8.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Named {
    std::string id;
    std::string text;
    std::string extra;
};

struct Info {
    std::string registry;
    bool registered = false;
    std::string typeName, progId, progIdClass;
    std::string module, threadingModel, toolboxBitmap, miscStatus;
    bool loads = false;
    std::string loadError;
    std::string libName, libHelpString, libHelpFile, libHelpDir, libModule;
    std::vector<Named> interfaces; // iid, name, help string
    std::vector<Named> categories; // catid, description
    std::string verbs;             // as the control offers them: "&Edit (0), ..."
    std::string pageClass, pageName, pageModule, pageCaption, pageSize, pageError;
};

std::string Get(const std::u16string& key, const char16_t* value = nullptr) {
    const std::optional<std::u16string> text = RegGetString(HKEY_CLASSES_ROOT, key, value);
    return text ? Utf16ToUtf8(*text) : std::string();
}

std::string Id(const GUID& guid) {
    return Utf16ToUtf8(GuidToString(guid));
}

/// The verbs the control offers its host, with their numbers.
std::string VerbList(IUnknown* control) {
    CComPtr<IOleInPlaceControl> inPlace;
    const OLEVERB* verbs = nullptr;
    ULONG count = 0;
    if (FAILED(control->QueryInterface(IID_IOleInPlaceControl, inPlace.Receive())) ||
        FAILED(inPlace->EnumVerbs(&verbs, &count))) {
        return {};
    }
    std::string list;
    for (ULONG k = 0; k < count; ++k) {
        list.append(k == 0 ? "" : ", ")
            .append(Utf16ToUtf8(verbs[k].lpszVerbName))
            .append(" (")
            .append(std::to_string(verbs[k].lVerb))
            .append(")");
    }
    return list;
}

/// The property page the control names, made through its class object as a
/// host makes it, and its registration.
void ProbePage(Info& info, IUnknown* control) {
    CAUUID pages{};
    CComPtr<ISpecifyPropertyPages> specify;
    if (SUCCEEDED(control->QueryInterface(IID_ISpecifyPropertyPages, specify.Receive())) &&
        SUCCEEDED(specify->GetPages(&pages)) && pages.cElems != 0) {
        const std::u16string key = u"CLSID\\" + GuidToString(pages.pElems[0]);
        info.pageClass = Id(pages.pElems[0]);
        info.pageName = Get(key);
        info.pageModule = Get(InprocServerKey(pages.pElems[0]));
    }
    CComPtr<IPropertyPage> page;
    PROPPAGEINFO pageInfo{};
    const HRESULT hr = CreatePropertyPage(control, page, pageInfo);
    if (FAILED(hr)) {
        info.pageError = DescribeHResult(hr);
        return;
    }
    info.pageCaption = Utf16ToUtf8(pageInfo.pszTitle);
    info.pageSize = std::to_string(pageInfo.size.cx) + " x " + std::to_string(pageInfo.size.cy);
}

/// Whether the control's class object can be had, and why not; when it can,
/// what the control says of its verbs and property page.
void ProbeModule(Info& info) {
    CComPtr<IClassFactory> factory;
    HRESULT hr = CoGetClassObject(CLSID_Dravik, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                  factory.Receive());
    CComPtr<IUnknown> control;
    if (SUCCEEDED(hr)) {
        hr = factory->CreateInstance(nullptr, IID_IUnknown, control.Receive());
    }
    info.loads = SUCCEEDED(hr);
    if (!info.loads) {
        info.loadError = DescribeHResult(hr);
        if (hr == HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT)) {
            info.loadError += " (" + GetModuleLoadError() + ")";
        }
        info.pageError = "the control does not load";
        return;
    }
    info.verbs = VerbList(control.Get());
    ProbePage(info, control.Get());
}

Info Gather() {
    Info info;
    info.registry = RegistryFilePath();
    const std::u16string key = u"CLSID\\" + GuidToString(CLSID_Dravik);
    info.module = Get(InprocServerKey(CLSID_Dravik));
    info.registered = !info.module.empty();
    info.typeName = Get(key);
    info.progId = Get(key + u"\\ProgID");
    info.progIdClass = Get(std::u16string(kProgIdControl) + u"\\CLSID");
    info.threadingModel = Get(InprocServerKey(CLSID_Dravik), u"ThreadingModel");
    info.toolboxBitmap = Get(key + u"\\ToolboxBitmap32");
    info.miscStatus = Get(key + u"\\MiscStatus\\1");
    const std::u16string lib = TypeLibVersionKey(LIBID_DRAVIKLib, 1, 0);
    info.libName = Get(lib, u"Name");
    info.libHelpString = Get(lib);
    info.libHelpFile = Get(lib, u"HelpFile");
    info.libHelpDir = Get(lib + u"\\HELPDIR");
    info.libModule = Get(lib + u"\\409\\linux");
    for (const GUID& iid : {DIID__DDravik, DIID__DDravikEvents}) {
        const std::u16string interfaceKey = u"Interface\\" + GuidToString(iid);
        info.interfaces.push_back({Id(iid), Get(interfaceKey), Get(interfaceKey, u"HelpString")});
    }
    for (const std::u16string& catid :
         RegSubkeyNames(HKEY_CLASSES_ROOT, key + u"\\Implemented Categories")) {
        info.categories.push_back(
            {Utf16ToUtf8(catid), Get(u"Component Categories\\" + catid, u"409"), {}});
    }
    if (info.registered) {
        ProbeModule(info);
        CoFreeUnusedLibraries();
    }
    return info;
}

/// " (0x...)" for a decimal number, empty for anything else.
std::string Hex(const std::string& decimal) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(decimal.c_str(), &end, 10);
    if (decimal.empty() || *end != 0) {
        return {};
    }
    char text[24];
    std::snprintf(text, sizeof text, " (0x%lX)", value);
    return text;
}

void PrintText(const Info& i) {
    std::cout << "Registry:        " << i.registry << "\n";
    if (!i.registered) {
        std::cout << "The control " << Id(CLSID_Dravik)
                  << " is not registered; `dravik register` registers the bundled module.\n";
        return;
    }
    std::cout << "Control class:   " << Id(CLSID_Dravik) << " \"" << i.typeName << "\"\n"
              << "ProgID:          " << i.progId << " -> " << i.progIdClass << "\n"
              << "Module:          " << i.module
              << (i.loads ? " (loads)" : " (does not load: " + i.loadError + ")") << "\n"
              << "Threading model: " << i.threadingModel << "\n"
              << "Misc status:     " << i.miscStatus << Hex(i.miscStatus) << "\n"
              << "Toolbox bitmap:  " << i.toolboxBitmap << "\n"
              << "Type library:    " << i.libName << " 1.0 " << Id(LIBID_DRAVIKLib) << " \""
              << i.libHelpString << "\", locale 409: " << i.libModule << "\n"
              << "Help file:       " << i.libHelpDir << "/" << i.libHelpFile << "\n";
    const char* label = "Interfaces:      ";
    for (const Named& n : i.interfaces) {
        std::cout << label << n.text << " " << n.id << " \"" << n.extra << "\"\n";
        label = "                 ";
    }
    label = "Categories:      ";
    for (const Named& n : i.categories) {
        std::cout << label << n.id << " \"" << n.text << "\"\n";
        label = "                 ";
    }
    std::cout << "Verbs:           " << i.verbs << "\n";
    std::cout << "Property page:   " << i.pageClass << " \"" << i.pageName << "\", "
              << (i.pageError.empty()
                      ? "caption \"" + i.pageCaption + "\", " + i.pageSize + " dialog units"
                      : "cannot be created: " + i.pageError)
              << "\n";
}

std::string JsonList(const std::vector<Named>& list, const char* id, const char* text,
                     const char* extra) {
    std::string out = "[";
    for (std::size_t k = 0; k < list.size(); ++k) {
        out += std::string(k == 0 ? "" : ", ") + "{\"" + id + "\": " + JsonString(list[k].id) +
               ", \"" + text + "\": " + JsonString(list[k].text) +
               (extra != nullptr ? std::string(", \"") + extra + "\": " + JsonString(list[k].extra)
                                 : std::string()) +
               "}";
    }
    return out + "]";
}

void PrintJson(const Info& i) {
    const auto field = [](const char* name, const std::string& value, bool last = false) {
        return std::string("  \"") + name + "\": " + value + (last ? "\n" : ",\n");
    };
    std::cout << "{\n"
              << field("registry", JsonString(i.registry))
              << field("registered", i.registered ? "true" : "false")
              << field("clsid", JsonString(Id(CLSID_Dravik)))
              << field("typeName", JsonString(i.typeName)) << field("progId", JsonString(i.progId))
              << field("progIdClsid", JsonString(i.progIdClass))
              << field("module", JsonString(i.module))
              << field("moduleLoads", i.loads ? "true" : "false")
              << field("moduleError", JsonString(i.loadError))
              << field("threadingModel", JsonString(i.threadingModel))
              << field("miscStatus", JsonString(i.miscStatus))
              << field("toolboxBitmap", JsonString(i.toolboxBitmap))
              << field("typeLibrary",
                       "{\"libid\": " + JsonString(Id(LIBID_DRAVIKLib)) +
                           ", \"version\": \"1.0\", \"name\": " + JsonString(i.libName) +
                           ", \"helpString\": " + JsonString(i.libHelpString) +
                           ", \"helpFile\": " + JsonString(i.libHelpFile) +
                           ", \"helpDir\": " + JsonString(i.libHelpDir) +
                           ", \"module\": " + JsonString(i.libModule) + ", \"interfaces\": " +
                           JsonList(i.interfaces, "iid", "name", "helpString") + "}")
              << field("categories", JsonList(i.categories, "catid", "description", nullptr))
              << field("verbs", JsonString(i.verbs))
              << field("propertyPage",
                       "{\"clsid\": " + JsonString(i.pageClass) + ", \"typeName\": " +
                           JsonString(i.pageName) + ", \"module\": " + JsonString(i.pageModule) +
                           ", \"caption\": " + JsonString(i.pageCaption) +
                           ", \"error\": " + JsonString(i.pageError) + "}",
                       true)
              << "}\n";
}

/// Bitmap 1 as a .bmp file: the file header, then the packed bitmap.
bool WriteBitmap(const std::string& path) {
    const std::span<const std::uint8_t> dib = LoadResourceBitmap(IDB_DRAVIK);
    const std::uint32_t infoSize = dib[0] | (dib[1] << 8);
    const std::uint32_t colours = dib[32] | (dib[33] << 8);
    const std::uint32_t fileSize = 14 + static_cast<std::uint32_t>(dib.size());
    const std::uint32_t pixels = 14 + infoSize + 4 * colours;
    std::uint8_t header[14] = {'B', 'M'};
    for (int k = 0; k < 4; ++k) {
        header[2 + k] = static_cast<std::uint8_t>(fileSize >> (8 * k));
        header[10 + k] = static_cast<std::uint8_t>(pixels >> (8 * k));
    }
    errno = 0;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(header), sizeof header);
    out.write(reinterpret_cast<const char*>(dib.data()), static_cast<std::streamsize>(dib.size()));
    out.close();
    return static_cast<bool>(out);
}

struct InfoOptions {
    bool json = false;
    std::string bitmap;
};

} // namespace

void AddInfoCommand(CLI::App& app, int& exitCode) {
    auto o = std::make_shared<InfoOptions>();
    CLI::App* info = app.add_subcommand(
        "info", "Show the control's registration: class id, ProgIDs, module path and whether it "
                "loads, type library, component categories with their descriptions, and the "
                "property page class.");
    info->add_flag("--json", o->json, "print a JSON object instead");
    info->add_option("--bitmap", o->bitmap,
                     "write the control's toolbox bitmap (16 x 15, 16 colours) to FILE as a "
                     ".bmp file, and nothing else")
        ->type_name("FILE");
    info->footer(ExitStatusHelp(
        {{0}, {2, "the registry cannot be read, or the bitmap file cannot be written"}}));
    info->callback([o, &exitCode] {
        if (!o->bitmap.empty()) {
            if (!WriteBitmap(o->bitmap)) {
                std::cerr << "dravik info: cannot write " << o->bitmap << ": "
                          << (errno != 0 ? std::strerror(errno) : "write failed") << "\n";
                exitCode = kExitUsage;
                return;
            }
            std::cout << "Wrote bitmap 1 (16 x 15, 16 colours) to " << o->bitmap << "\n";
            exitCode = kExitOk;
            return;
        }
        if (const std::optional<std::string> failure = RegistryReadFailure()) {
            std::cerr << "dravik info: the registry cannot be read: " << *failure
                      << "; move the file aside and run `dravik register` to start afresh\n";
            exitCode = kExitUsage;
            return;
        }
        const Info gathered = Gather();
        o->json ? PrintJson(gathered) : PrintText(gathered);
        exitCode = kExitOk;
    });
}
