// SPDX-License-Identifier: Apache-2.0
// The question every front end asks before a run goes online, in the same
// words: the address stands on a line of its own, so that no punctuation
// runs into it.
#pragma once

#include <string>
#include <string_view>

inline constexpr const char* kGoOnlineCaption = "Work offline";

/// The question for a run that needs `url` (UTF-8).
inline std::string GoOnlineQuestion(std::string_view url) {
    return "The internet library is set to work offline. Go online to reach this address?\n" +
           std::string(url);
}
