// SPDX-License-Identifier: Apache-2.0
// Self-registration of the built module: the exact records, what
// unregistration leaves, and the results when a step fails.
#include "module/ModuleTest.h"
#include "support/ChildProcess.h"

#include <sqlite3.h>

#include <algorithm>
#include <csignal>
#include <string>
#include <thread>

namespace {

const std::string kControl = "CLSID\\{AA31AF6A-7213-44D3-A5A5-F146D45B568F}";
const std::string kPage = "CLSID\\{2AD61F7C-EDC3-4077-9011-2E6A02F55086}";
const std::string kLibId = "{451EF816-FE3B-45ED-A843-D69C94BEE519}";
const std::string kScriptable = "{7DD95801-9882-11CF-9FA9-00AA006C42C4}";
const std::string kInitializable = "{7DD95802-9882-11CF-9FA9-00AA006C42C4}";
const std::string kCategories[] = {
    "Component Categories\\" + kScriptable + "|409=Controls safely scriptable!",
    "Component Categories\\" + kInitializable +
        "|409=Controls safely initializable from persistent data!",
};

std::vector<std::string> Registered(const std::string& module) {
    const std::string folder = module.substr(0, module.rfind('/'));
    const std::string dispatch = "Interface\\{D41F90FF-5DCC-4A16-A51D-FCDA6EBB273F}";
    const std::string events = "Interface\\{612BB44E-AA89-4DEC-B48D-B9B8868842B4}";
    const std::string lib = "TypeLib\\" + kLibId + "\\1.0";
    std::vector<std::string> records = {
        kControl + "|=Dravik Control",
        kControl + "\\Control|=",
        kControl + "\\Implemented Categories\\" + kScriptable,
        kControl + "\\Implemented Categories\\" + kInitializable,
        kControl + "\\InprocServer32|=" + module,
        kControl + "\\InprocServer32|ThreadingModel=Apartment",
        kControl + "\\Insertable|=",
        kControl + "\\MiscStatus|=0",
        kControl + "\\MiscStatus\\1|=131473",
        kControl + "\\ProgID|=DRAVIK.DravikCtrl.1",
        kControl + "\\ToolboxBitmap32|=" + module + ", 1",
        kControl + "\\TypeLib|=" + kLibId,
        kControl + "\\Version|=1.0",
        kPage + "|=Dravik Property Page",
        kPage + "\\InprocServer32|=" + module,
        kCategories[0],
        kCategories[1],
        "DRAVIK.DravikCtrl.1|=Dravik Control",
        "DRAVIK.DravikCtrl.1\\CLSID|={AA31AF6A-7213-44D3-A5A5-F146D45B568F}",
        "DRAVIK.DravikCtrl.1\\Insertable|=",
        dispatch + "|=_DDravik",
        dispatch + "|HelpString=Dispatch interface for Dravik Control",
        dispatch + "\\TypeLib|=" + kLibId,
        dispatch + "\\TypeLib|Version=1.0",
        events + "|=_DDravikEvents",
        events + "|HelpString=Event interface for Dravik Control",
        events + "\\TypeLib|=" + kLibId,
        events + "\\TypeLib|Version=1.0",
        lib + "|=Dravik ActiveX Control module",
        lib + "|HelpFile=Dravik.hlp",
        lib + "|Name=DRAVIKLib",
        lib + "\\409\\linux|=" + module,
        lib + "\\FLAGS|=0",
        lib + "\\HELPDIR|=" + folder,
    };
    std::sort(records.begin(), records.end());
    return records;
}

/// The records whose line starts with one of `prefixes`.
std::vector<std::string> Under(const std::vector<std::string>& dump,
                               const std::vector<std::string>& prefixes) {
    std::vector<std::string> out;
    for (const std::string& line : dump) {
        for (const std::string& prefix : prefixes) {
            if (line.rfind(prefix, 0) == 0) {
                out.push_back(line);
                break;
            }
        }
    }
    return out;
}

bool StoreIntact() {
    sqlite3* db = nullptr;
    sqlite3_open_v2(RegistryFilePath().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* check = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr);
    const bool ok =
        sqlite3_step(check) == SQLITE_ROW &&
        std::string(reinterpret_cast<const char*>(sqlite3_column_text(check, 0))) == "ok";
    sqlite3_finalize(check);
    sqlite3_close(db);
    return ok;
}

using Registration = ModuleTest;

TEST_F(Registration, RoundTripWritesTheExactRecordsAndLeavesTheCategories) {
    ASSERT_EQ(Call("DllRegisterServer"), S_OK);
    EXPECT_EQ(Dump(), Registered(m_module));
    ASSERT_EQ(Call("DllRegisterServer"), S_OK) << "registering again changes nothing";
    EXPECT_EQ(Dump(), Registered(m_module));

    ASSERT_EQ(Call("DllUnregisterServer"), S_OK);
    // The shared root keys stay, emptied, as on the platform.
    const std::vector<std::string> left = {"CLSID", kCategories[0], kCategories[1], "Interface",
                                           "TypeLib"};
    EXPECT_EQ(Dump(), left);
    EXPECT_EQ(Call("DllUnregisterServer"), S_OK) << "nothing left to remove is no failure";
    EXPECT_EQ(Dump(), left);
}

TEST_F(Registration, FailingStepsGiveTheSelfRegistrationCodes) {
    struct Case {
        const char* fault;
        const char* entry;
        HRESULT result;
        std::vector<std::string> present;     ///< prefixes of the records left afterwards
        std::vector<std::string> absent = {}; ///< prefixes of records among them that are not
    };
    const std::string lib = "TypeLib\\";
    const std::string face = "Interface\\";
    const std::string categories = kControl + "\\Implemented";
    const char* reg = "DllRegisterServer";
    const char* unreg = "DllUnregisterServer";
    const Case cases[] = {
        // The type library comes first, then the control (its categories
        // are tried all the same), then its page.
        {"RegisterTypeLib", reg, SELFREG_E_TYPELIB, {}},
        {"RegisterControlClass", reg, SELFREG_E_CLASS, {lib, face, "Component", categories}},
        {"RegisterPropertyPageClass",
         reg,
         SELFREG_E_CLASS,
         {lib, face, kControl, "Component", "DRAVIK"}},
        {"UnRegisterTypeLib",
         unreg,
         SELFREG_E_TYPELIB,
         {lib, face, "CLSID", "Component", "DRAVIK"}},
        {"UnregisterClass", unreg, SELFREG_E_CLASS, {"CLSID", "Component", "DRAVIK"}},
        // Categories that cannot be registered leave the class registered and succeed.
        {"CoCreateInstance:{0002E005-0000-0000-C000-000000000046}",
         reg,
         S_OK,
         {""},
         {"Component", categories}},
        {"RegisterCategories", reg, S_OK, {""}, {"Component", categories}},
        {"RegisterClassImplCategories", reg, S_OK, {""}, {kCategories[0], categories}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        static_cast<void>(RegDeleteTreeW(HKEY_CLASSES_ROOT, nullptr)); // may be empty already
        if (c.entry == unreg) {
            ASSERT_EQ(Call(reg), S_OK);
        }
        Fault(c.fault);
        EXPECT_EQ(Call(c.entry), c.result);
        Fault("");
        std::vector<std::string> expected;
        for (const std::string& line : Registered(m_module)) {
            if (!Under({line}, c.present).empty() && Under({line}, c.absent).empty()) {
                expected.push_back(line);
            }
        }
        EXPECT_EQ(Under(Dump(), {lib, face, "CLSID\\", "Component", "DRAVIK"}), expected);
    }
}

TEST_F(Registration, ProcessesRegisteringAtOnceOrKilledHalfwayLeaveTheStoreWhole) {
    const std::string job = "40 " + m_module;
    const pid_t first = testsupport::SpawnChild("register", job);
    const pid_t second = testsupport::SpawnChild("register", job);
    const pid_t killed = testsupport::SpawnChild("register", "100000 " + m_module);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(killed, SIGKILL);
    EXPECT_EQ(testsupport::WaitForChild(killed), -1);
    EXPECT_EQ(testsupport::WaitForChild(first), 0);
    EXPECT_EQ(testsupport::WaitForChild(second), 0);
    EXPECT_TRUE(StoreIntact());
    EXPECT_EQ(Dump(), Registered(m_module));
}

} // namespace
