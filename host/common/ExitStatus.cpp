// SPDX-License-Identifier: Apache-2.0
#include "host/common/ExitStatus.h"

namespace {

const char* const kMeanings[] = {
    "success",
    "a subscription failed (fetch: the server answered with a status other than 200)",
    "bad usage, page or configuration",
    "the internet library is offline and was not brought online",
    "the internet session or a request failed",
    "the URL cache could not be written or read",
};

} // namespace

std::string ExitStatusHelp(std::initializer_list<int> statuses) {
    std::string text = "Exit status:";
    const char* separator = " ";
    for (const int status : statuses) {
        text += separator + std::to_string(status) + " " + kMeanings[status];
        separator = "; ";
    }
    return text + ".";
}

std::string ExitStatusHelp(std::initializer_list<ExitMeaning> statuses) {
    std::string text = "Exit status:";
    const char* separator = " ";
    for (const ExitMeaning& status : statuses) {
        text += separator + std::to_string(status.status) + " " +
                (status.meaning != nullptr ? status.meaning : kMeanings[status.status]);
        separator = "; ";
    }
    return text + ".";
}
