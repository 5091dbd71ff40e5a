// SPDX-License-Identifier: Apache-2.0
// `dravik snippet`: a ready-to-paste <object> element for host page authors.
#include "control/resources/ConfigKeys.h"
#include "host/Commands.h"
#include "host/browser/DialogHtml.h"
#include "host/common/HostPage.h"
#include "platform/text/Utf8.h"

#include <iostream>
#include <string>

namespace {

/// Example values that make the snippet a working page once the engine
/// address and the subscriptions are filled in; every other key is empty.
std::string ExampleValue(const std::string& key) {
    if (key == "Info.UserName")
        return "jdoe";
    if (key == "Info.ORXCommands")
        return "Show,List,InvokeMethod";
    if (key == "Label.SynchronizeButton")
        return "Synchronize";
    if (key == "Label.OutsideLinks")
        return "Follow links to other sites";
    if (key == "Label.Title")
        return "Offline content";
    if (key == "Msg.NoUsername")
        return "Please sign in before synchronizing.";
    if (key == "Msg.SynchInProgress")
        return "Synchronizing %1...";
    if (key == "Msg.SynchFailed")
        return "%1 could not be synchronized.";
    if (key == "Msg.SynchComplete")
        return "Synchronization complete.";
    if (key == "Info.HttpRequestHeaders")
        return "X-Offline: 1&#13;&#10;";
    return "";
}

} // namespace

void AddSnippetCommand(CLI::App& app, int& exitCode) {
    CLI::App* snippet = app.add_subcommand(
        "snippet", "Print an <object> element for the control with every parameter key, for "
                   "pasting into a host page. Header lines in Info.HttpRequestHeaders end with "
                   "&#13;&#10; (CR LF).");
    snippet->callback([&exitCode] {
        // The size that shows the whole panel in a browser.
        const auto [width, height] = PanelPixels();
        std::cout << "<object id=\"dravik\" classid=\"" << ControlClassId() << "\" width=\""
                  << width << "\" height=\"" << height << "\">\n";
        for (const std::u16string& key : ConfigurationKeys()) {
            const std::string name = Utf16ToUtf8(key);
            std::cout << "  <param name=\"" << name << "\" value=\"" << ExampleValue(name)
                      << "\">\n";
        }
        std::cout << "</object>\n";
        exitCode = kExitOk;
    });
}
