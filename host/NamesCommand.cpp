// SPDX-License-Identifier: Apache-2.0
// `dravik names PAGE`: the subscriptions a host page's panel shows, which is
// what `sync --check` and its sister options accept (and what the shell
// completion offers).
#include "control/resources/ConfigKeys.h"
#include "host/Commands.h"
#include "host/common/ErrorText.h"
#include "host/common/HostPage.h"
#include "net/InternetSession.h"
#include "platform/kernel/LastError.h"
#include "platform/text/Utf8.h"

#include <iostream>
#include <memory>
#include <string>

namespace {

int ListNames(const std::string& pageArgument) {
    // A page given by URL is read through the internet library.
    if (!OpenInternetSession()) {
        const DWORD error = GetLastError();
        CloseInternetSession();
        std::cerr << "dravik names: cannot open the internet session: " << DescribeError(error)
                  << "\n";
        return kExitTransport;
    }
    const HostPageResult page = ReadHostPage(pageArgument);
    CloseInternetSession();
    if (!page.ok) {
        std::cerr << "dravik names: " << page.error << "\n";
        return kExitUsage;
    }
    int listed = 0;
    for (int slot = 0; slot < kCheckBoxSlots; ++slot) {
        const CVELString key = SlotKey(slot, u".Name");
        const auto name = page.params.find(std::u16string(key.GetData(), key.GetLength()));
        if (name != page.params.end() && !name->second.empty()) {
            std::cout << Utf16ToUtf8(name->second) << "\n";
            ++listed;
        }
    }
    if (listed == 0) {
        std::cerr << "dravik names: the page names no subscription on its panel; give S1.Name "
                     "to S6.Name values\n";
    }
    return kExitOk;
}

} // namespace

void AddNamesCommand(CLI::App& app, int& exitCode) {
    auto page = std::make_shared<std::string>();
    CLI::App* names = app.add_subcommand(
        "names", "Print the names of the subscriptions the page's panel shows (S1.Name to "
                 "S6.Name), one per line: what sync's --check, --uncheck, --links and "
                 "--no-links accept.");
    names->add_option("PAGE", *page, "path or http(s) URL of the host page")->required();
    names->footer(ExitStatusHelp({0, 2, 4}));
    names->callback([page, &exitCode] { exitCode = ListNames(*page); });
}
