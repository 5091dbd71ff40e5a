// SPDX-License-Identifier: Apache-2.0
#include "platform/kernel/FaultInjection.h"

#include <cstdlib>

#ifndef DRAVIK_FAULT_POINTS

// Built without fault points (a build without tests): nothing fails on purpose.
bool FaultInjected(std::string_view) {
    return false;
}

#else

bool FaultInjected(std::string_view step) {
    const char* value = std::getenv("DRAVIK_FAULT");
    if (value == nullptr || step.empty()) {
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

#endif
