// SPDX-License-Identifier: Apache-2.0
// `dravik cache show|remove|clear|missed`: reading and pruning the URL cache
// and the list of addresses missed while offline.
#include "host/Commands.h"
#include "host/common/ErrorText.h"
#include "host/proxy/PageText.h"
#include "platform/cache/CacheKey.h"
#include "platform/cache/CacheStore.h"
#include "platform/cache/ContentSweep.h"
#include "platform/cache/MissedUrls.h"
#include "platform/kernel/LastError.h"
#include "platform/text/Utf8.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

int Fail(const char* command, int status, const std::string& message) {
    std::cerr << "dravik cache " << command << ": " << message << "\n";
    return status;
}

/// Why the cache could not be read, naming the file when there is one.
std::string Unreadable(const urlcache::CacheError& error) {
    return "cannot read " + (error.path.empty() ? std::string("the cache") : error.path) + ": " +
           error.reason;
}

int Show(const std::string& url) {
    const auto copy = urlcache::OpenCopy(url);
    if (!copy) {
        return copy.Missing() ? Fail("show", kExitFailed, "the cache holds no entry for " + url)
                              : Fail("show", kExitCache, Unreadable(copy.Error()));
    }
    std::vector<char> piece(std::size_t{64} * 1024);
    std::uint64_t offset = 0;
    for (;;) {
        const urlcache::CacheResult<std::size_t> got =
            (*copy)->Read(offset, piece.data(), piece.size());
        if (!got) {
            return Fail("show", kExitCache, Unreadable(got.Error()));
        }
        if (*got == 0) {
            break;
        }
        if (std::fwrite(piece.data(), 1, *got, stdout) != *got) {
            return Fail("show", kExitFailed, "standard output could not be written");
        }
        offset += *got;
    }
    return std::fflush(stdout) == 0 ? kExitOk : kExitFailed;
}

int Remove(const std::vector<std::string>& urls) {
    int status = kExitOk;
    for (const std::string& url : urls) {
        if (const urlcache::CacheResult<bool> removed = urlcache::Remove(url); !removed) {
            const bool missing = removed.Missing();
            const int failed = Fail("remove", missing ? kExitFailed : kExitCache,
                                    missing ? "the cache holds no entry for " + url
                                            : url + ": " + Unreadable(removed.Error()));
            status = std::max(status, failed);
        }
    }
    return status;
}

int Clear() {
    const urlcache::CacheResult<std::vector<urlcache::StoredEntry>> listed =
        urlcache::ListEntries();
    if (!listed) {
        return Fail("clear", kExitCache, Unreadable(listed.Error()));
    }
    const std::vector<urlcache::StoredEntry>& entries = *listed;
    std::size_t removed = 0;
    for (const urlcache::StoredEntry& entry : entries) {
        removed += urlcache::Remove(entry.url) ? 1 : 0;
    }
    std::cout << "removed " << removed << (removed == 1 ? " entry\n" : " entries\n");
    // Bodies left by writers killed before their rows were committed.
    if (!RemoveUnnamedContent()) {
        return Fail("clear", kExitCache, "files no entry names could not be removed");
    }
    return removed == entries.size()
               ? kExitOk
               : Fail("clear", kExitCache, "some entries could not be removed");
}

int Missed(bool clear) {
    std::vector<urlcache::MissedUrl> missed;
    if (!urlcache::ListMissedUrls(missed)) {
        return Fail("missed", kExitCache, "the list of missed addresses could not be read");
    }
    if (clear) {
        return urlcache::ClearMissedUrls()
                   ? kExitOk
                   : Fail("missed", kExitCache, "the list could not be cleared");
    }
    for (const urlcache::MissedUrl& m : missed) {
        std::cout << IsoTime(m.lastMissed) << "  " << m.count << "  " << Utf16ToUtf8(m.url) << "\n";
    }
    std::cout << missed.size() << (missed.size() == 1 ? " address\n" : " addresses\n");
    return kExitOk;
}

/// Forgets the missed addresses given; each must be on the list.
int RemoveMissed(const std::vector<std::string>& urls) {
    std::vector<urlcache::MissedUrl> missed;
    if (!urlcache::ListMissedUrls(missed)) {
        return Fail("missed", kExitCache, "the list of missed addresses could not be read");
    }
    std::set<std::u16string> listed;
    for (const urlcache::MissedUrl& m : missed) {
        listed.insert(m.url);
    }
    int status = kExitOk;
    std::size_t removed = 0;
    for (const std::string& url : urls) {
        const std::u16string key = urlcache::CacheKeyOf(Utf8ToUtf16(url));
        if (listed.count(key) == 0) {
            status = std::max(status, Fail("missed", kExitFailed, "the list holds no " + url));
        } else if (!urlcache::ForgetMissedUrl(Utf8ToUtf16(url))) {
            status = std::max(status, Fail("missed", kExitCache, url + " could not be removed"));
        } else {
            listed.erase(key);
            ++removed;
        }
    }
    std::cout << "removed " << removed << (removed == 1 ? " address\n" : " addresses\n");
    return status;
}

} // namespace

void AddCacheEntryCommands(CLI::App& cache, int& exitCode) {
    auto url = std::make_shared<std::string>();
    CLI::App* show = cache.add_subcommand(
        "show", "Write the cached body of URL to standard output (counts as a use).");
    show->add_option("URL", *url, "the address as it was fetched")->required();
    show->callback([url, &exitCode] { exitCode = Show(*url); });

    auto urls = std::make_shared<std::vector<std::string>>();
    CLI::App* remove = cache.add_subcommand("remove", "Remove the entries of the URLs given.");
    remove->add_option("URL", *urls, "addresses to remove")->required();
    remove->callback([urls, &exitCode] { exitCode = Remove(*urls); });

    CLI::App* clear = cache.add_subcommand("clear", "Remove every entry of the cache.");
    clear->callback([&exitCode] { exitCode = Clear(); });

    auto forget = std::make_shared<bool>(false);
    CLI::App* missed = cache.add_subcommand(
        "missed", "List the addresses asked for through `dravik proxy` while offline that the "
                  "cache did not hold: last time (UTC), times asked, URL. `dravik fetch "
                  "--missed` fetches them.");
    CLI::Option* clearAll = missed->add_flag("--clear", *forget, "forget them instead");
    auto unwanted = std::make_shared<std::vector<std::string>>();
    missed->add_option("--remove", *unwanted, "forget only these addresses")
        ->type_name("URL...")
        ->excludes(clearAll);
    missed->callback([forget, unwanted, &exitCode] {
        exitCode = unwanted->empty() ? Missed(*forget) : RemoveMissed(*unwanted);
    });
    for (CLI::App* command : {show, remove}) {
        command->footer(
            ExitStatusHelp({{0}, {1, "the cache holds no entry for a URL given"}, {2}, {5}}));
    }
    for (CLI::App* command : {clear, missed}) {
        command->footer(ExitStatusHelp({0, 2, 5}));
    }
    missed->footer("Exit status: 1 the list holds no address given to --remove. " +
                   ExitStatusHelp({0, 2, 5}));
}
