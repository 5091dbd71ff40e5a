// SPDX-License-Identifier: Apache-2.0
// Header lines as the proxy passes them on: the response head the internet
// library gives as raw text, the headers that belong to one connection
// only (never forwarded), and the stored headers a cached copy is served
// with.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace proxy {

struct HeaderField {
    std::string name;
    std::string value;
};

struct ResponseHead {
    unsigned status = 0;
    std::string reason;
    std::vector<HeaderField> fields;
};

/// A status line and header lines, each ended by CR LF (a bare LF is taken
/// too), up to an empty line or the end. Folded continuation lines join
/// the line before. Lines that are not sound fields (a name that is not a
/// token, control bytes in the value) are dropped. Nullopt when the status
/// line is not HTTP/x.y NNN.
std::optional<ResponseHead> ParseResponseHead(std::string_view raw);

/// The value of the first field called `name` (case ignored).
std::optional<std::string_view> FindField(const std::vector<HeaderField>& fields,
                                          std::string_view name);

/// The lower-case tokens of Connection header values: more fields that
/// belong to the connection.
std::vector<std::string> ConnectionTokens(const std::vector<std::string_view>& values);

/// True for a field a proxy must not forward: the fixed hop-by-hop set and
/// those the Connection header names.
bool IsHopByHop(std::string_view name, const std::vector<std::string>& connectionTokens);

/// True when two header names are equal, case ignored.
bool NameEquals(std::string_view a, std::string_view b);

/// The stored fields a cached copy is answered with, from the header text
/// the cache keeps for the entry.
std::vector<HeaderField> ReplayedFields(std::string_view storedHeaders);

} // namespace proxy
