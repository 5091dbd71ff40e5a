// SPDX-License-Identifier: Apache-2.0
// `dravik panel PAGE`: the control's panel in the terminal, for a person.
#pragma once

#include <string>

/// Creates the control from the host page `page` (a path or an http(s)
/// URL) as `dravik sync` does and shows its panel until the user closes
/// it. After the terminal is back, standard error gets what the last run
/// left to say, as `dravik sync` words it. Returns the exit status of the
/// last press of Synchronize (0 when there was none), or of what kept the
/// panel from showing: standard input or output not a terminal is bad usage.
int RunPanel(const std::string& page, int connections = 1, bool http2 = false);
