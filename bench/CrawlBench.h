// SPDX-License-Identifier: Apache-2.0
// What the crawl benchmarks share: the generated tree site, the host page
// that points `dravik sync` at it, and running one side as a child process
// whose wall time, CPU time and peak resident memory are its own.
//
// The site: a start page on the engine host links to the root of a tree on
// a content host; every tree page has kBranching children, kImagesPerPage
// images of its own, and the one style sheet and script all pages share.
// With 5 levels that is 1,555 pages, 4,665 images and 6,223 requests.
#pragma once

#include "control/resources/TypeLibrary.h"
#include "framework/com/Guid.h"
#include "platform/text/Utf8.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace bench {

constexpr int kBranching = 6;
constexpr int kLevels = 5;
constexpr int kImagesPerPage = 3;
constexpr int kDepth = 7; // anchor hops, as wget's -l 7

/// The pages of a tree of `levels` levels.
inline int PageCount(int levels = kLevels) {
    int pages = 0;
    for (int level = 0, width = 1; level < levels; ++level, width *= kBranching) {
        pages += width;
    }
    return pages;
}

/// The requests one crawl of the site makes: the start page, every tree
/// page and image, the style sheet and the script.
inline int RequestCount(int levels = kLevels) {
    return 1 + PageCount(levels) * (1 + kImagesPerPage) + 2;
}

inline std::string PageBody(int page, int levels = kLevels) {
    std::string body = "<html><head><title>page " + std::to_string(page) +
                       "</title><link rel=stylesheet href=\"/style.css\">"
                       "<script src=\"/app.js\"></script></head><body>\n";
    for (int k = 0; k < kImagesPerPage; ++k) {
        body += "<p><img src=\"/img/" + std::to_string(page * kImagesPerPage + k) +
                ".gif\" alt=\"picture\" width=64 height=64></p>\n";
    }
    for (int c = 1; c <= kBranching; ++c) {
        const int child = page * kBranching + c;
        if (child < PageCount(levels)) {
            body += "<p><a href=\"/s/" + std::to_string(child) + ".html\">section " +
                    std::to_string(child) + "</a> with a line of text about it.</p>\n";
        }
    }
    return body + "</body></html>\n";
}

/// Every file of the content host by path, and the engine's start page.
struct SiteFiles {
    std::map<std::string, std::string> content;
    std::string startPage;
};

inline SiteFiles MakeSite(const std::string& contentOrigin, int levels = kLevels) {
    SiteFiles site;
    site.startPage =
        "<html><body><a href=\"" + contentOrigin + "/s/0.html\">site</a></body></html>";
    for (int page = 0; page < PageCount(levels); ++page) {
        site.content["/s/" + std::to_string(page) + ".html"] = PageBody(page, levels);
        for (int k = 0; k < kImagesPerPage; ++k) {
            site.content["/img/" + std::to_string(page * kImagesPerPage + k) + ".gif"] =
                "GIF89a" + std::string(1500, static_cast<char>('a' + (page + k) % 26));
        }
    }
    site.content["/style.css"] = "body { font-family: sans-serif; color: #222 }\n";
    site.content["/app.js"] = "var ready = true;\n";
    return site;
}

/// A curl config that fetches every URL of the site, start page first,
/// into nothing: the floor a crawler that knew them all in advance stands on.
inline void WriteCurlList(const std::filesystem::path& path, const std::string& start,
                          const std::string& origin,
                          const std::map<std::string, std::string>& files) {
    std::ofstream list(path);
    const auto add = [&list](const std::string& url) {
        list << "url = \"" << url << "\"\noutput = \"/dev/null\"\n";
    };
    add(start);
    for (const auto& [name, body] : files) {
        add(origin + name);
    }
}

/// A host page for `dravik sync` with one subscription, "Tree", whose start
/// query the engine answers with the start page.
inline void WriteHostPage(const std::filesystem::path& path, const std::string& engineOrigin) {
    const auto param = [](const std::string& name, const std::string& value) {
        return "<param name=\"" + name + "\" value=\"" + value + "\">\n";
    };
    const std::u16string braced = GuidToString(CLSID_Dravik);
    const std::string classId =
        Utf16ToUtf8(std::u16string_view(braced).substr(1, braced.size() - 2));
    std::ofstream(path) << "<object classid=\"clsid:" << classId << "\">\n"
                        << param("Info.ORXPath", engineOrigin + "/orx")
                        << param("Info.UserName", "bench") << param("Info.ORXCommands", "Show")
                        << param("Label.Title", "bench") << param("Msg.SynchComplete", "done")
                        << param("Msg.SynchFailed", "failed") << param("S1.Name", "Tree")
                        << param("S1.URL1.URL", "ORXCmd=Show")
                        << param("S1.URL1.Depth.Default", std::to_string(kDepth))
                        << param("S1.URL1.Depth.IncludeLinks", std::to_string(kDepth))
                        << "</object>\n";
}

struct Usage {
    double wall = 0;
    double cpu = 0;
    double peakMb = 0;
    bool ok = false;
};

/// Runs `args` in `dir` with XDG folders there; its own figures. The side
/// is started by GNU time, a small process: a child forked straight from
/// this one would count this process's resident memory as its own peak,
/// since the kernel keeps the peak across exec.
inline Usage RunChild(const std::vector<std::string>& args, const std::filesystem::path& dir) {
    const std::string report = (dir / "usage").string();
    std::vector<std::string> timed{"/usr/bin/time", "-q", "-f", "%e %U %S %M %x", "-o", report};
    timed.insert(timed.end(), args.begin(), args.end());
    // The child would write out what this process still buffers.
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
        if (::chdir(dir.c_str()) != 0) {
            _exit(127);
        }
        if (::freopen("/dev/null", "w", stdout) == nullptr) { // dravik's closing message
            _exit(127);
        }
        std::vector<char*> argv;
        for (const std::string& a : timed) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    Usage u;
    double user = 0;
    double system = 0;
    long peakKb = 0;
    int exitCode = -1;
    std::ifstream(report) >> u.wall >> user >> system >> peakKb >> exitCode;
    u.cpu = user + system;
    u.peakMb = peakKb / 1024.0;
    // wget and wget2 exit with 8 when a server answered with an error
    // status; anything else but 0 is a failed run.
    const bool isWget = args[0].find("wget") != std::string::npos;
    u.ok = WIFEXITED(status) && (exitCode == 0 || (isWget && exitCode == 8));
    return u;
}

inline double Median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

/// Each side's runs, for medians.
class Sides {
  public:
    void Add(const std::string& side, const Usage& u) { m_runs[side].push_back(u); }
    Usage MedianOf(const std::string& side) const {
        std::vector<double> wall, cpu, peak;
        for (const Usage& u : m_runs.at(side)) {
            wall.push_back(u.wall);
            cpu.push_back(u.cpu);
            peak.push_back(u.peakMb);
        }
        return {Median(wall), Median(cpu), Median(peak), true};
    }
    void PrintRow(const std::string& label, const std::string& side, int requests) const {
        const Usage m = MedianOf(side);
        std::printf("%-24s wall %7.2f s  cpu %6.2f s  peak RSS %6.1f MB  requests %d\n",
                    label.c_str(), m.wall, m.cpu, m.peakMb, requests);
    }

  private:
    std::map<std::string, std::vector<Usage>> m_runs;
};

/// Each side's name and command line.
using SideList = std::vector<std::pair<std::string, std::vector<std::string>>>;

/// Runs every side of `sides` `reps` times in turn; `served()` counts the
/// requests the site has answered so far, and `requests` gets each side's.
/// False, having said which, when a side failed.
inline bool RunSides(const SideList& sides, int reps, const std::filesystem::path& root,
                     const std::function<int()>& served, Sides& results,
                     std::map<std::string, int>& requests) {
    int run = 0;
    for (int rep = 0; rep < reps; ++rep) {
        for (const auto& [side, args] : sides) {
            // Every run starts from an empty folder; all are removed at the
            // end, so that no side creates its files right after the
            // previous side's were deleted (ext4 then searches longer for
            // free inodes).
            const std::filesystem::path dir = root / ("run" + std::to_string(++run));
            std::filesystem::create_directories(dir);
            const int before = served();
            const Usage usage = RunChild(args, dir);
            requests[side] = served() - before;
            if (!usage.ok) {
                std::fprintf(stderr, "%s failed\n", side.c_str());
                return false;
            }
            results.Add(side, usage);
        }
    }
    return true;
}

/// `dravik sync` of the tree site's host page, with `connections` when given.
inline std::vector<std::string> SyncTree(const std::string& dravik, const std::string& page,
                                         const char* connections = nullptr) {
    std::vector<std::string> args{dravik,    "sync", "-q",      "--outside-links",
                                  "--check", "Tree", "--links", "Tree"};
    if (connections != nullptr) {
        args.insert(args.end(), {"--connections", connections});
    }
    args.push_back(page);
    return args;
}

/// The dravik program: `--dravik PATH`, else the one beside this benchmark
/// in the build tree.
inline std::string DravikBinary(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--dravik") {
            return argv[i + 1];
        }
    }
    return (std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / "host" /
            "dravik")
        .string();
}

inline int Repetitions(int argc, char** argv, int fallback) {
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) != "--reps") {
            continue;
        }
        // A typo must not quietly become one run: the medians would mean
        // something other than what was asked for.
        const std::string value = i + 1 < argc ? argv[i + 1] : "";
        const bool digits = !value.empty() && value.size() <= 4 &&
                            value.find_first_not_of("0123456789") == std::string::npos;
        if (!digits || std::stoi(value) < 1) {
            throw std::invalid_argument("--reps takes a number of runs from 1 to 9999 (not \"" +
                                        value + "\")");
        }
        return std::stoi(value);
    }
    return fallback;
}

} // namespace bench
