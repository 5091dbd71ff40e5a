// SPDX-License-Identifier: Apache-2.0
// The libraries' versions come from the build (DRAVIK_BUILT_WITH), not from
// asking the libraries: `dravik --version` loads none of them.
#include "host/HelpFormatter.h"

std::string VersionText() {
    return WrapHelpText(std::string("dravik ") + DRAVIK_VERSION +
                            "\n"
                            "Copyright 2026 The Dravik developers. Licensed under the Apache "
                            "License 2.0 <https://www.apache.org/licenses/LICENSE-2.0>; there is "
                            "no warranty, as the licence says.\n"
                            "Built with " DRAVIK_BUILT_WITH
                            "; the program runs on these versions or later ones of each.",
                        CWrappingFormatter::kWidth);
}
