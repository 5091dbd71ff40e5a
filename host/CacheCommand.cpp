// SPDX-License-Identifier: Apache-2.0
// `dravik cache list [--json]`: what the URL cache holds.
#include "host/Commands.h"
#include "host/common/ErrorText.h"
#include "host/common/OutputText.h"
#include "host/common/RunReport.h"
#include "platform/cache/CacheStore.h"
#include "platform/kernel/FileTime.h"
#include "platform/text/Utf8.h"

#include <cstdio>
#include <ctime>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

/// File-time ticks as "YYYY-MM-DDTHH:MM:SSZ", or "-" when not set.
std::string ListedTime(std::uint64_t ticks) {
    const std::string text = IsoTime(ticks);
    return text.empty() ? "-" : text;
}

void PrintJson(const std::vector<urlcache::StoredEntry>& entries) {
    std::cout << "[";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const urlcache::StoredEntry& e = entries[i];
        std::cout << (i == 0 ? "\n" : ",\n") << "  {\"url\": " << JsonString(e.url)
                  << ", \"size\": " << e.size
                  << ", \"lastSync\": " << JsonString(ListedTime(e.lastSync))
                  << ", \"localFile\": " << JsonString(e.file) << "}";
    }
    std::cout << (entries.empty() ? "]\n" : "\n]\n");
}

void PrintTable(const std::vector<urlcache::StoredEntry>& entries) {
    for (const urlcache::StoredEntry& e : entries) {
        // A small body is kept in the index itself and has no file.
        std::cout << ListedTime(e.lastSync) << "  " << e.size << "  " << e.url << "\n    "
                  << (e.file.empty() ? std::string("(in the index)") : e.file) << "\n";
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
        const urlcache::CacheResult<std::vector<urlcache::StoredEntry>> entries =
            urlcache::ListEntries();
        if (!entries) {
            const urlcache::CacheError& error = entries.Error();
            std::cerr << "dravik cache list: cannot read " << Printable(Utf8ToUtf16(error.path))
                      << ": " << Printable(Utf8ToUtf16(error.reason)) << " (error " << error.code
                      << ")\n";
            exitCode = kExitCache;
            return;
        }
        *json ? PrintJson(*entries) : PrintTable(*entries);
        exitCode = kExitOk;
    });
}
