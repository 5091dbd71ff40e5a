// SPDX-License-Identifier: Apache-2.0
// `dravik cache list [--json]`: what the URL cache holds.
#include "host/Commands.h"
#include "host/common/ErrorText.h"
#include "host/common/OutputText.h"
#include "host/common/RunReport.h"
#include "platform/cache/CacheFailure.h"
#include "platform/inet/WinInet.h"
#include "platform/kernel/FileTime.h"
#include "platform/kernel/LastError.h"
#include "platform/text/Utf8.h"

#include <cstdio>
#include <ctime>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

/// A file time as "YYYY-MM-DDTHH:MM:SSZ", or "-" when it is not set.
std::string ListedTime(const FILETIME& time) {
    const std::string text = IsoTime(FileTimeToTicks(time));
    return text.empty() ? "-" : text;
}

void PrintJson(const std::vector<UrlCacheEntry>& entries) {
    std::cout << "[";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const UrlCacheEntry& e = entries[i];
        std::cout << (i == 0 ? "\n" : ",\n")
                  << "  {\"url\": " << JsonString(Utf16ToUtf8(e.sourceUrl))
                  << ", \"size\": " << e.size
                  << ", \"lastSync\": " << JsonString(ListedTime(e.lastSync))
                  << ", \"localFile\": " << JsonString(Utf16ToUtf8(e.localFile)) << "}";
    }
    std::cout << (entries.empty() ? "]\n" : "\n]\n");
}

void PrintTable(const std::vector<UrlCacheEntry>& entries) {
    for (const UrlCacheEntry& e : entries) {
        // A small body is kept in the index itself and has no file.
        std::cout << ListedTime(e.lastSync) << "  " << e.size << "  " << Utf16ToUtf8(e.sourceUrl)
                  << "\n    "
                  << (e.localFile.empty() ? std::string("(in the index)")
                                          : Utf16ToUtf8(e.localFile))
                  << "\n";
    }
    std::cout << entries.size() << (entries.size() == 1 ? " entry\n" : " entries\n");
}

} // namespace

void AddCacheCommand(CLI::App& app, int& exitCode) {
    auto json = std::make_shared<bool>(false);
    CLI::App* cache = app.add_subcommand(
        "cache", "Inspect the URL cache ($XDG_CACHE_HOME/dravik/, by default ~/.cache/dravik/): "
                 "what a synchronization fetched from other hosts.");
    cache->require_subcommand(1);
    CLI::App* list = cache->add_subcommand(
        "list", "List every entry: last synchronization time (UTC), size in bytes, URL and "
                "local file.");
    list->add_flag("--json", *json, "print a JSON array instead");
    list->footer(ExitStatusHelp({0, 2, 5}));
    list->callback([json, &exitCode] {
        std::vector<UrlCacheEntry> entries;
        if (!ListUrlCacheEntries(entries)) {
            const DWORD error = GetLastError();
            UrlCacheFailure failure;
            std::cerr << "dravik cache list: ";
            if (GetLastUrlCacheFailure(failure)) {
                std::cerr << "cannot read " << Printable(failure.path) << ": "
                          << Printable(failure.reason) << " (error " << failure.error << ")\n";
            } else {
                std::cerr << DescribeError(error) << "\n";
            }
            exitCode = kExitCache;
            return;
        }
        *json ? PrintJson(entries) : PrintTable(entries);
        exitCode = kExitOk;
    });
}
