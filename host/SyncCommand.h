// SPDX-License-Identifier: Apache-2.0
// The synchronization a user runs from a host page: `dravik sync` and the
// demo both go through RunSync.
#pragma once

#include <string>
#include <vector>

struct SyncOptions {
    std::string page;                 ///< a path or an http(s) URL of the host page
    std::vector<std::string> check;   ///< subscriptions to select
    std::vector<std::string> uncheck; ///< subscriptions to leave out
    std::vector<std::string> links;   ///< subscriptions whose links to include
    std::vector<std::string> noLinks; ///< subscriptions whose links to leave out
    bool outsideLinks = false;        ///< check the follow-outside-links box
    bool noOutsideLinks = false;      ///< uncheck it
    bool yes = false;                 ///< answer yes when asked to go online
    bool quiet = false;               ///< no progress at all
    bool verbose = false;             ///< a line per request with its status
    int connections = 1;              ///< connections a crawl may use at once
    bool http2 = false;               ///< offer HTTP/2 to https servers
};

/// Loads the page's parameters into a control, applies the user's clicks,
/// presses Synchronize and returns the exit status. Progress goes to
/// standard error, each message box to standard output as one line, and
/// after them, on standard error, what the run leaves to say (why a
/// subscription failed, what could not be saved or cached).
int RunSync(const SyncOptions& options);
