// A whole crawl against wget's recursive download of the same site.
//
// A generated site on loopback: a start page on the engine host links to
// the root of a tree of kPages pages on another host; every page has a few
// images (shared between pages), a stylesheet and links to two pages
// further down. The crawl follows outside links to the tree's depth. The
// baseline is `wget -r -l N -p -H -nd --delete-after` over the same pages.
// Each side runs as its own process so that its CPU time and peak resident
// memory are its own; both are measured in the same run.
#include "crawler/AllowedLists.h"
#include "crawler/Subscription.h"
#include "net/InternetSession.h"
#include "platform/kernel/FileTime.h"

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kPages = 2000;
constexpr int kImages = 60;
constexpr int kDepth = 13; // the tree is 11 levels deep, behind one anchor

std::string PageBody(int i, const std::string& other) {
    std::string body = "<html><head><link rel=stylesheet href=\"/style.css\"></head><body>";
    for (int k = 0; k < 3; ++k) {
        body += "<img src=\"/img/" + std::to_string((i * 3 + k) % kImages) + ".gif\">";
    }
    for (int child : {2 * i + 1, 2 * i + 2}) {
        if (child < kPages) {
            body += "<a href=\"" + other + "/s/" + std::to_string(child) + ".html\">next</a>";
        }
    }
    return body + std::string(800, ' ') + "</body></html>";
}

class Site {
  public:
    Site() {
        Start(m_engine, m_enginePort, m_engineThread);
        Start(m_other, m_otherPort, m_otherThread);
        const std::string other = "http://127.0.0.1:" + std::to_string(m_otherPort);
        m_engine.Get("/orx", [other](const httplib::Request&, httplib::Response& res) {
            res.set_content("<a href=\"" + other + "/s/0.html\">site</a>", "text/html");
        });
        m_other.Get(R"(/s/(\d+)\.html)",
                    [other](const httplib::Request& req, httplib::Response& res) {
                        res.set_content(PageBody(std::stoi(req.matches[1]), other), "text/html");
                    });
        m_other.Get(R"(/img/\d+\.gif)", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(600, 'g'), "image/gif");
        });
        m_other.Get("/style.css", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("body{color:black}", "text/css");
        });
    }
    ~Site() {
        m_engine.stop();
        m_other.stop();
        m_engineThread.join();
        m_otherThread.join();
    }
    std::string StartUrl() const {
        return "http://127.0.0.1:" + std::to_string(m_enginePort) + "/orx?ORXCmd=Show";
    }

  private:
    static void Start(httplib::Server& server, int& port, std::thread& thread) {
        server.set_tcp_nodelay(true);
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([&server] { server.listen_after_bind(); });
        while (!server.is_running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    httplib::Server m_engine;
    httplib::Server m_other;
    int m_enginePort = 0;
    int m_otherPort = 0;
    std::thread m_engineThread;
    std::thread m_otherThread;
};

/// The crawl side, run as `bench_crawl --crawl URL` in a process of its own.
int CrawlMain(const char* url) {
    if (!OpenInternetSession()) {
        return 2;
    }
    ParseList(u"Show", g_allowedCommands);
    CSubscription slot;
    GetSystemTimeAsFileTime(&slot.m_syncStart);
    slot.m_bOutsideLinks = TRUE;
    const std::string text(url);
    const CVELString start(std::u16string(text.begin(), text.end()).c_str());
    const BOOL ok = slot.CreateSubscription(start, kDepth);
    CloseInternetSession();
    return ok ? 0 : 1;
}

struct ChildUsage {
    double wallSeconds = 0;
    double cpuSeconds = 0;
    long peakKb = 0;
    bool ok = false;
};

ChildUsage RunChild(const std::vector<std::string>& args, const std::string& home) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        ::setenv("XDG_CACHE_HOME", home.c_str(), 1);
        if (::chdir(home.c_str()) != 0) {
            _exit(127);
        }
        std::vector<char*> argv;
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    ChildUsage result;
    result.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 +
                        usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
    result.peakKb = usage.ru_maxrss;
    result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return result;
}

Site& TheSite() {
    static Site site;
    return site;
}

std::string g_self;

/// Every run's figures by side, for medians computed here rather than by
/// the benchmark library's counter arithmetic.
std::map<std::string, std::vector<ChildUsage>> g_runs;
int g_runNumber = 0;

std::filesystem::path ScratchRoot() {
    return std::filesystem::temp_directory_path() /
           ("dravik-bench-crawl-" + std::to_string(::getpid()));
}

void Measure(benchmark::State& state, const std::string& side,
             const std::vector<std::string>& args) {
    for (auto _ : state) {
        // A fresh folder per run; all are removed at the end, so no run pays
        // for the previous run's deletions.
        const std::filesystem::path home = ScratchRoot() / std::to_string(++g_runNumber);
        std::filesystem::create_directories(home);
        const ChildUsage usage = RunChild(args, home.string());
        if (!usage.ok) {
            state.SkipWithError("the crawl failed");
            break;
        }
        state.SetIterationTime(usage.wallSeconds);
        g_runs[side].push_back(usage);
    }
}

void Wget(benchmark::State& state) {
    Measure(state, "Wget",
            {"wget", "-q", "-r", "-l", std::to_string(kDepth), "-p", "-H", "-nd", "--delete-after",
             "-e", "robots=off", TheSite().StartUrl()});
}

void Dravik(benchmark::State& state) {
    Measure(state, "Dravik", {g_self, "--crawl", TheSite().StartUrl()});
}

BENCHMARK(Wget)->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);
BENCHMARK(Dravik)->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);

double Median(std::vector<double> values) {
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Summary {
    double wall = 0;
    double cpu = 0;
    double peakMb = 0;
};

Summary Summarize(const std::string& side) {
    std::vector<double> wall;
    std::vector<double> cpu;
    std::vector<double> peak;
    for (const ChildUsage& u : g_runs[side]) {
        wall.push_back(u.wallSeconds);
        cpu.push_back(u.cpuSeconds);
        peak.push_back(u.peakKb / 1024.0);
    }
    return {Median(wall), Median(cpu), Median(peak)};
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--crawl") == 0) {
        return CrawlMain(argv[2]);
    }
    if (argc == 3 && std::strcmp(argv[1], "--serve") == 0) {
        // Serves the site alone for a while, for profiling either side by hand.
        std::printf("%s\n", TheSite().StartUrl().c_str());
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::seconds(std::atoi(argv[2])));
        return 0;
    }
    g_self = std::filesystem::canonical("/proc/self/exe").string();
    benchmark::Initialize(&argc, argv);
    benchmark::ConsoleReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::filesystem::remove_all(ScratchRoot());
    const Summary wget = Summarize("Wget");
    const Summary dravik = Summarize("Dravik");
    const auto row = [](const char* name, const Summary& s) {
        std::printf("%-7s wall %6.2f s  %6.0f pages/s  cpu %5.2f s  peak RSS %5.1f MB\n", name,
                    s.wall, s.wall > 0 ? kPages / s.wall : 0.0, s.cpu, s.peakMb);
    };
    std::printf("\n%d pages, medians of %zu runs each\n", kPages, g_runs["Dravik"].size());
    row("Wget", wget);
    row("Dravik", dravik);
    if (wget.wall > 0 && dravik.wall > 0) {
        std::printf("ratios dravik/wget: wall %.2f (target <= 0.80), cpu %.2f (target <= 1.00)\n",
                    dravik.wall / wget.wall, dravik.cpu / wget.cpu);
    }
    return 0;
}
