// SPDX-License-Identifier: Apache-2.0
#include "host/common/ExitStatus.h"

namespace {

const char* Meaning(int status) {
    switch (status) {
    case kExitOk:
        return "success";
    case kExitFailed:
        return "a subscription failed (fetch: the server answered with a status other than 200)";
    case kExitUsage:
        return "bad usage, page or configuration";
    case kExitOffline:
        return "the internet library is offline and was not brought online";
    case kExitTransport:
        return "the internet session or a request failed";
    case kExitCache:
        return "the URL cache could not be written or read";
    case kExitInternal:
        return "an internal error (out of memory, or a fault of dravik's own)";
    }
    return "";
}

} // namespace

std::string ExitStatusHelp(std::initializer_list<int> statuses) {
    std::string text = "Exit status:";
    const char* separator = " ";
    for (const int status : statuses) {
        text += separator + std::to_string(status) + " " + Meaning(status);
        separator = "; ";
    }
    return text + ".";
}

std::string ExitStatusHelp(std::initializer_list<ExitMeaning> statuses) {
    std::string text = "Exit status:";
    const char* separator = " ";
    for (const ExitMeaning& status : statuses) {
        text += separator + std::to_string(status.status) + " " +
                (status.meaning != nullptr ? status.meaning : Meaning(status.status));
        separator = "; ";
    }
    return text + ".";
}
