// SPDX-License-Identifier: Apache-2.0
// What the commands that show the panel (`sync`, `panel`) share: the
// module's internet session held open around the command, the host page
// read and checked, the control created from it, and the exit status a
// press of Synchronize ends with.
#pragma once

#include "host/common/ControlHost.h"

#include <functional>
#include <memory>
#include <string>

/// Runs `body` with the internet session open and closes it afterwards.
/// When it cannot be opened, says so after `prefix` ("dravik sync: ") on
/// standard error and returns kExitTransport without running `body`.
int WithInternetSession(const std::string& prefix, const std::function<int()>& body);

/// Reads the host page `page` (a path or an http(s) URL), warns about its
/// request headers and creates the control its <object> names. A control
/// without an engine address is refused. On failure the reason goes to
/// standard error after `prefix`, `status` gets the exit status and the
/// result is null.
std::unique_ptr<HostedControl> OpenPageControl(const std::string& page, const std::string& prefix,
                                               int& status);

/// The exit status of a run that ended with `outcome`.
int ExitStatusOf(RunOutcome outcome);
