// SPDX-License-Identifier: Apache-2.0
// The switch tests fail platform steps with: DRAVIK_FAULT names them, as a
// comma-separated list, read at each step so that a test can set it for one
// call. Linked into every test program, and preloaded (LD_PRELOAD) into the
// built program by the tests that run it with a fault; the product itself
// never reads the variable.
#include "platform/kernel/FaultInjection.h"

#include <cstdlib>

namespace {

bool NamedInEnvironment(std::string_view step) {
    const char* value = std::getenv("DRAVIK_FAULT");
    if (value == nullptr) {
        return false;
    }
    std::string_view list(value);
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        if (list.substr(0, comma) == step) {
            return true;
        }
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    }
    return false;
}

// The platform library is a dependency of this one, so it is initialised
// first and the hook is in place before any test or command runs.
[[maybe_unused]] const bool g_installed = [] {
    SetFaultHook(&NamedInEnvironment);
    return true;
}();

} // namespace
