// SPDX-License-Identifier: Apache-2.0
// Escaping for the proxy's own pages: HTML text and attributes, JSON
// strings, and URLs carried in a query.
#pragma once

#include "host/common/OutputText.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace proxy {

/// "&", "<", ">", '"' and "'" as character references.
std::string HtmlEscape(std::string_view text);

/// Every byte but letters, digits and "-._~" as %XX.
std::string PercentEncode(std::string_view text);

/// %XX sequences decoded and "+" as a space; nullopt for a bad escape.
std::optional<std::string> PercentDecode(std::string_view text);

/// The value of `name` in a query "a=1&b=2" (undecoded), or nullopt.
std::optional<std::string_view> QueryValue(std::string_view query, std::string_view name);

} // namespace proxy
