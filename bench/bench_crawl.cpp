// A whole crawl against wget's recursive download of the same site.
//
// A generated site on loopback: a start page on the engine host links to
// the root of a tree of kPages pages on another host; every page has a few
// images (shared between pages), a stylesheet and links to two pages
// further down. The crawl follows outside links to the tree's depth. The
// baseline is `wget -r -l N -p -H -nd --delete-after` over the same pages.
// Each side runs as its own process so that its CPU time and peak resident
// memory are its own; both are measured in the same run.
#include "bench/RateReporter.h"
#include "crawler/AllowedLists.h"
#include "crawler/Subscription.h"
#include "net/InternetSession.h"
#include "platform/FileTime.h"

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
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

void Measure(benchmark::State& state, const std::vector<std::string>& args) {
    const std::filesystem::path home = std::filesystem::temp_directory_path() /
                                       ("dravik-bench-crawl-" + std::to_string(::getpid()));
    for (auto _ : state) {
        std::filesystem::remove_all(home);
        std::filesystem::create_directories(home);
        const ChildUsage usage = RunChild(args, home.string());
        if (!usage.ok) {
            state.SkipWithError("the crawl failed");
            break;
        }
        state.SetIterationTime(usage.wallSeconds);
        state.counters["cpu_s"] = usage.cpuSeconds;
        state.counters["peak_rss_MB"] = usage.peakKb / 1024.0;
        state.counters["pages_per_s"] = kPages / usage.wallSeconds;
    }
    std::filesystem::remove_all(home);
}

void Wget(benchmark::State& state) {
    Measure(state, {"wget", "-q", "-r", "-l", std::to_string(kDepth), "-p", "-H", "-nd",
                    "--delete-after", "-e", "robots=off", TheSite().StartUrl()});
}

void Dravik(benchmark::State& state) {
    Measure(state, {g_self, "--crawl", TheSite().StartUrl()});
}

BENCHMARK(Wget)->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);
BENCHMARK(Dravik)->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);

/// Keeps the median of each counter by benchmark name.
class CounterReporter : public RateReporter {
  public:
    CounterReporter() : RateReporter("pages_per_s") {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                for (const auto& [name, counter] : run.counters) {
                    m_medians[run.run_name.function_name + "/" + name] = counter.value;
                }
                m_medians[run.run_name.function_name + "/wall"] = run.real_accumulated_time;
            }
        }
        RateReporter::ReportRuns(runs);
    }
    double Median(const std::string& key) const {
        const auto it = m_medians.find(key);
        return it == m_medians.end() ? 0.0 : it->second;
    }

  private:
    std::map<std::string, double> m_medians;
};

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
    CounterReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const auto row = [&](const char* name) {
        std::printf("%-7s wall %6.2f s  %7.0f pages/s  cpu %6.2f s  peak RSS %6.1f MB\n", name,
                    reporter.Median(std::string(name) + "/wall"),
                    reporter.Median(std::string(name) + "/pages_per_s"),
                    reporter.Median(std::string(name) + "/cpu_s"),
                    reporter.Median(std::string(name) + "/peak_rss_MB"));
    };
    std::printf("\n%d pages, medians of 3 runs each\n", kPages);
    row("Wget");
    row("Dravik");
    const double wall = reporter.Median("Dravik/wall") / reporter.Median("Wget/wall");
    const double cpu = reporter.Median("Dravik/cpu_s") / reporter.Median("Wget/cpu_s");
    std::printf("ratios dravik/wget: wall %.2f (target <= 0.80), cpu %.2f (target <= 1.00)\n", wall,
                cpu);
    return 0;
}
