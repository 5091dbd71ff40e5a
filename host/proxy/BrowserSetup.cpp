// SPDX-License-Identifier: Apache-2.0
#include "host/proxy/BrowserSetup.h"

#include "host/proxy/PageText.h"

namespace proxy {

std::string PacScript(std::string_view authority) {
    std::string script = "// Dravik: every address through the offline proxy.\n"
                         "function FindProxyForURL(url, host) {\n  return \"PROXY ";
    script.append(authority).append("\";\n}\n");
    return script;
}

std::string BrowserSteps(std::string_view origin) {
    const std::string server = HtmlEscape(origin);
    const std::string pac = HtmlEscape(std::string(origin) + "/proxy.pac");
    std::string steps = "<h2>Use it in a browser</h2>\n<ul>\n<li>Chromium: start it with "
                        "<code>chromium --proxy-pac-url=";
    steps.append(pac).append("</code>. Chromium never sends addresses on this machine "
                             "(127.0.0.1, localhost) to a proxy found that way; when the "
                             "application runs on this machine, start it with <code>chromium "
                             "--proxy-server=");
    steps.append(server).append(" --proxy-bypass-list='&lt;-loopback&gt;'</code> instead.</li>\n"
                                "<li>Firefox: Settings, Network Settings, Automatic proxy "
                                "configuration URL: <code>");
    steps.append(pac).append("</code>; for addresses on this machine also set "
                             "<code>network.proxy.allow_hijacking_localhost</code> to true in "
                             "<code>about:config</code>.</li>\n</ul>\n");
    return steps;
}

} // namespace proxy
