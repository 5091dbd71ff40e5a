// Escaping for the proxy's own pages: HTML text and attributes, JSON
// strings, and URLs carried in a query.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace proxy {

/// "&", "<", ">", '"' and "'" as character references.
std::string HtmlEscape(std::string_view text);

/// A quoted JSON string; control characters as \u escapes. Bytes that are
/// not valid UTF-8 become U+FFFD so that the document stays valid.
std::string JsonString(std::string_view text);

/// Every byte but letters, digits and "-._~" as %XX.
std::string PercentEncode(std::string_view text);

/// %XX sequences decoded and "+" as a space; nullopt for a bad escape.
std::optional<std::string> PercentDecode(std::string_view text);

/// The value of `name` in a query "a=1&b=2" (undecoded), or nullopt.
std::optional<std::string_view> QueryValue(std::string_view query, std::string_view name);

/// A file time as "YYYY-MM-DDTHH:MM:SSZ", or "" when it is not set.
std::string IsoTime(std::uint64_t ticks);

} // namespace proxy
