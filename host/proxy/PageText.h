// SPDX-License-Identifier: Apache-2.0
// Escaping for the proxy's own pages: HTML text and attributes, JSON
// strings, and URLs carried in a query.
#pragma once

#include "host/common/OutputText.h"
#include "host/common/QueryText.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace proxy {

/// "&", "<", ">", '"' and "'" as character references.
std::string HtmlEscape(std::string_view text);

using ::PercentDecode;
using ::PercentEncode;
using ::QueryValue;

} // namespace proxy
