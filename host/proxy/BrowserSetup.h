// SPDX-License-Identifier: Apache-2.0
// How a browser finds the proxy: a proxy auto-configuration file at
// /proxy.pac, and the steps the index page gives for Chromium and Firefox.
#pragma once

#include <string>
#include <string_view>

namespace proxy {

/// The auto-configuration script: every http and https request through the
/// proxy at `authority` ("127.0.0.1:8731"), with no way around it, since
/// offline there is nothing else to answer.
std::string PacScript(std::string_view authority);

/// The index page's section on pointing a browser at the proxy whose
/// origin is `origin` ("http://127.0.0.1:8731").
std::string BrowserSteps(std::string_view origin);

} // namespace proxy
