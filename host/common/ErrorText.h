// SPDX-License-Identifier: Apache-2.0
// Words for the system's error numbers, for messages.
#pragma once

#include "platform/kernel/WinTypes.h"

#include <string>

/// "what it means (error N)", or just "error N" for numbers it does not know.
std::string DescribeError(DWORD error);
