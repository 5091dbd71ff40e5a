// Words for the internet library's last-error numbers, for messages.
#pragma once

#include "platform/kernel/WinTypes.h"

#include <string>

/// "error N: what it means" (just "error N" for numbers it does not know).
std::string DescribeError(DWORD error);
