// SPDX-License-Identifier: Apache-2.0
// URLs and other texts carried in a query string, for the pages the proxy
// and the panel serve.
#pragma once

#include <optional>
#include <string>
#include <string_view>

/// Every byte but letters, digits and "-._~" as %XX.
std::string PercentEncode(std::string_view text);

/// %XX sequences decoded and "+" as a space; nullopt for a bad escape.
std::optional<std::string> PercentDecode(std::string_view text);

/// The value of `name` in a query "a=1&b=2" (undecoded), or nullopt.
std::optional<std::string_view> QueryValue(std::string_view query, std::string_view name);
