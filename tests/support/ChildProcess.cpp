// SPDX-License-Identifier: Apache-2.0
#include "support/ChildProcess.h"

#include "framework/com/ComRuntime.h"
#include "framework/com/ModuleLoader.h"
#include "platform/cache/MissedUrls.h"
#include "platform/inet/WinInet.h"
#include "support/InetTestSupport.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <vector>

extern char** environ;

namespace testsupport {

namespace {

constexpr const char* kJobVariable = "DRAVIK_TEST_CHILD_JOB";
constexpr const char* kArgumentVariable = "DRAVIK_TEST_CHILD_ARG";

/// "download PORT PATH": fetches into the cache; succeeds when it was sent.
bool Download(std::istringstream& arguments) {
    int port = 0;
    std::string path;
    arguments >> port >> path;
    const Handle session = OpenSession();
    return Fetch(session.Get(), port, W(path), 0).sent;
}

/// "write-items PORT ITEMS ROUNDS": fetches /item/0 .. /item/ITEMS-1 ROUNDS
/// times; succeeds when every body was whole.
bool WriteItems(std::istringstream& arguments) {
    int port = 0;
    int items = 0;
    int rounds = 0;
    arguments >> port >> items >> rounds;
    const Handle session = OpenSession();
    bool ok = true;
    for (int round = 0; round < rounds; ++round) {
        for (int item = 0; item < items; ++item) {
            const Exchange got = Fetch(session.Get(), port, W("/item/" + std::to_string(item)), 0);
            ok = ok && got.body.size() == ItemSize(item);
        }
    }
    return ok;
}

/// "record-misses URL TIMES": notes URL as missed TIMES times.
bool RecordMisses(std::istringstream& arguments) {
    std::string url;
    int times = 0;
    arguments >> url >> times;
    bool ok = true;
    for (int i = 0; i < times; ++i) {
        ok = urlcache::RecordMissedUrl(W(url)) && ok;
    }
    return urlcache::FlushMissedUrls() && ok; // the job leaves with _Exit
}

/// "count-entries": the number of entries the cache lists, as exit status.
int CountEntries() {
    std::vector<UrlCacheEntry> entries;
    return ListUrlCacheEntries(entries) ? static_cast<int>(entries.size()) : 100;
}

/// "go-online": writes the library's connected state into the cache's index.
bool GoOnline() {
    INTERNET_CONNECTED_INFO online{INTERNET_STATE_CONNECTED, 0};
    return InternetSetOptionW(nullptr, INTERNET_OPTION_CONNECTED_STATE, &online, sizeof online) !=
           FALSE;
}

/// "register ROUNDS MODULE": runs the module's DllRegisterServer ROUNDS
/// times; succeeds when every run did.
bool Register(std::istringstream& arguments) {
    int rounds = 0;
    std::string path;
    arguments >> rounds >> path;
    const HMODULE module = LoadLibraryW(W(path).c_str());
    auto entry =
        reinterpret_cast<DllRegisterServerProc>(GetProcAddress(module, "DllRegisterServer"));
    bool ok = entry != nullptr;
    for (int round = 0; ok && round < rounds; ++round) {
        ok = entry() == S_OK;
    }
    return ok;
}

int RunJob(const std::string& job, const std::string& argument) {
    std::istringstream arguments(argument);
    if (job == "download") {
        return Download(arguments) ? 0 : 1;
    }
    if (job == "write-items") {
        return WriteItems(arguments) ? 0 : 1;
    }
    if (job == "record-misses") {
        return RecordMisses(arguments) ? 0 : 1;
    }
    if (job == "go-online") {
        return GoOnline() ? 0 : 1;
    }
    if (job == "count-entries") {
        return CountEntries();
    }
    if (job == "register") {
        return Register(arguments) ? 0 : 1;
    }
    return 100;
}

// Runs before main: a child does its job and leaves before any test starts.
[[maybe_unused]] const bool kRanAsChild = [] {
    const char* job = std::getenv(kJobVariable);
    if (job == nullptr) {
        return false;
    }
    const char* argument = std::getenv(kArgumentVariable);
    std::_Exit(RunJob(job, argument != nullptr ? argument : ""));
}();

} // namespace

pid_t SpawnChild(const std::string& job, const std::string& argument) {
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        variables.emplace_back(*entry);
    }
    variables.push_back(std::string(kJobVariable) + "=" + job);
    variables.push_back(std::string(kArgumentVariable) + "=" + argument);
    std::vector<char*> envp;
    for (std::string& variable : variables) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);
    std::string program = "/proc/self/exe";
    char* argv[] = {program.data(), nullptr};
    pid_t child = 0;
    if (::posix_spawn(&child, program.c_str(), nullptr, nullptr, argv, envp.data()) != 0) {
        throw std::runtime_error("cannot start a child process");
    }
    return child;
}

int WaitForChild(pid_t child) {
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace testsupport
