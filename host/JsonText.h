// Text as a JSON string, for the commands' --json output.
#pragma once

#include <string>

/// `text` (UTF-8) quoted, with quotes, backslashes and control characters escaped.
std::string JsonString(const std::string& text);
