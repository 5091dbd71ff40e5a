// SPDX-License-Identifier: Apache-2.0
// `dravik register [MODULE]` and `dravik unregister [MODULE]`: the
// platform's self-registration tool. The module writes or removes its own
// records through its DllRegisterServer and DllUnregisterServer.
#include "framework/com/Registry.h"
#include "host/Commands.h"
#include "host/common/ModuleRegistration.h"

#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

namespace {

int RunEntry(const char* command, const char* entry, const std::string& given) {
    std::error_code ignored;
    const std::string module =
        given.empty() ? BundledModulePath() : std::filesystem::absolute(given, ignored).string();
    std::string error;
    if (!CallRegistrationEntry(module, entry, error)) {
        std::cerr << "dravik " << command << ": " << error << "\n";
        return kExitUsage;
    }
    std::cout << (std::string(command) == "register" ? "Registered " : "Unregistered ") << module
              << " in " << RegistryFilePath() << "\n";
    return kExitOk;
}

void AddEntryCommand(CLI::App& app, int& exitCode, const char* name, const char* entry,
                     const std::string& description) {
    auto module = std::make_shared<std::string>();
    CLI::App* command = app.add_subcommand(name, description);
    command->add_option("MODULE", *module, "the module's path (default: the bundled module)");
    command->footer("The registry is $XDG_DATA_HOME/dravik/registry.sqlite (default "
                    "~/.local/share/dravik/). Exit status: 0 done, 2 the module could not be "
                    "loaded or reported a failure (printed with its HRESULT).");
    command->callback(
        [module, name, entry, &exitCode] { exitCode = RunEntry(name, entry, *module); });
}

} // namespace

void AddRegisterCommands(CLI::App& app, int& exitCode) {
    AddEntryCommand(app, exitCode, "register", "DllRegisterServer",
                    "Register the control: its type library, its class with ProgID "
                    "DRAVIK.DravikCtrl.1, the categories safe for initializing and for "
                    "scripting, and its property page. `sync` and `demo` register the bundled "
                    "module by themselves when the control is not registered.");
    AddEntryCommand(app, exitCode, "unregister", "DllUnregisterServer",
                    "Remove the control's classes, its ProgID and its type library from the "
                    "registry; the two component categories stay registered.");
}
