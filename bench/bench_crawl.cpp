// SPDX-License-Identifier: Apache-2.0
// `dravik sync` against `wget -r -l 7 -p -H -nd --delete-after` on the
// generated tree site (CrawlBench.h), served by nginx on loopback, with the
// URL cache and wget's downloads on the disk beside the build (not tmpfs).
//
// Each side runs as its own process, alternating, so its wall time, CPU
// time and peak resident memory are its own; the requests each side made
// are counted from nginx's access log. Prints the medians and Dravik's
// figures as ratios of wget's, from the same run, beside the targets; the
// six-connection run also beside the floors: curl fetching every URL of the
// site, known in advance, in one process, one at a time and six at a time.
//
//   bench_crawl [--reps N] [--dravik PATH]   (default 3 runs of build/host/dravik)
//   bench_crawl --serve SECONDS   serves the site alone, for profiling by hand
//   bench_crawl --processes N [--reps N] [--dravik PATH]
//       N syncs at once, each of its own copy of the site (its own nginx, so
//       its own URLs): on N caches and on one shared cache, beside one sync
//       alone. Two processes on one cache should not wait on each other's
//       write lock: the shared figure should stay near the separate one.
#include "CrawlBench.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <thread>

namespace {

namespace fs = std::filesystem;

int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                       ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    ::close(fd);
    if (!bound) {
        throw std::runtime_error("no free port on 127.0.0.1");
    }
    return ntohs(address.sin_port);
}

bool Accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

/// nginx serving the site from files under `dir`, one process, logging
/// every request to access.log.
class Nginx {
  public:
    explicit Nginx(const fs::path& dir) : m_dir(dir), m_engine(FreePort()), m_content(FreePort()) {
        const bench::SiteFiles site = bench::MakeSite(ContentOrigin());
        fs::create_directories(dir / "engine");
        std::ofstream(dir / "engine" / "orx.html") << site.startPage;
        for (const auto& [path, body] : site.content) {
            const fs::path file = dir / "content" / path.substr(1);
            fs::create_directories(file.parent_path());
            std::ofstream(file, std::ios::binary) << body;
        }
        WriteConfig();
        m_pid = ::fork();
        if (m_pid == 0) {
            const std::string conf = (dir / "nginx.conf").string();
            const std::string errors = (dir / "error.log").string();
            ::execlp("nginx", "nginx", "-q", "-e", errors.c_str(), "-p", dir.c_str(), "-c",
                     conf.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 500 && !(Accepts(m_engine) && Accepts(m_content)); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!Accepts(m_engine)) {
            throw std::runtime_error("nginx did not start; see " + (dir / "error.log").string());
        }
    }
    ~Nginx() {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }

    /// Writes a curl config fetching the URLs a crawl of the site makes.
    void WriteCurlList(const fs::path& path) const {
        bench::WriteCurlList(path, EngineOrigin() + "/orx?ORXCmd=Show", ContentOrigin(),
                             bench::MakeSite(ContentOrigin()).content);
    }

    std::string EngineOrigin() const { return "http://127.0.0.1:" + std::to_string(m_engine); }
    std::string ContentOrigin() const { return "http://127.0.0.1:" + std::to_string(m_content); }

    /// Requests logged so far (the log is written unbuffered).
    int Requests() const {
        std::ifstream log(m_dir / "access.log");
        return static_cast<int>(std::count(std::istreambuf_iterator<char>(log),
                                           std::istreambuf_iterator<char>(), '\n'));
    }

  private:
    void WriteConfig() const {
        const std::string d = m_dir.string();
        std::ofstream(m_dir / "nginx.conf")
            << "daemon off; master_process off; worker_processes 1;\n"
            << "pid " << d << "/nginx.pid;\n"
            << "events { worker_connections 1024; }\n"
            << "http {\n"
            << "  access_log " << d << "/access.log;\n"
            << "  client_body_temp_path " << d << "/tmp; proxy_temp_path " << d << "/tmp;\n"
            << "  fastcgi_temp_path " << d << "/tmp; uwsgi_temp_path " << d << "/tmp;\n"
            << "  scgi_temp_path " << d << "/tmp;\n"
            << "  sendfile on; tcp_nodelay on; keepalive_requests 1000000;\n"
            << "  types { text/html html; image/gif gif; text/css css; "
               "application/javascript js; }\n"
            << "  server { listen 127.0.0.1:" << m_engine << ";\n"
            << "    location = /orx { root " << d << "/engine; default_type text/html;"
            << " try_files /orx.html =404; } }\n"
            << "  server { listen 127.0.0.1:" << m_content << "; root " << d << "/content; }\n"
            << "}\n";
    }

    fs::path m_dir;
    int m_engine;
    int m_content;
    pid_t m_pid = -1;
};

fs::path ScratchRoot() {
    // Beside the build, on the disk that holds it: /tmp may be a tmpfs.
    return fs::canonical("/proc/self/exe").parent_path() /
           ("crawl-scratch-" + std::to_string(::getpid()));
}

int Option(int argc, char** argv, const char* name) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) {
            return std::atoi(argv[i + 1]);
        }
    }
    return 0;
}

/// Runs one sync per host page at once, each in its own folder under
/// `root`; with `shared` their caches are one folder. The slowest wall
/// time, or a negative one when a sync failed.
double RunTogether(const std::string& dravik, const std::vector<fs::path>& pages,
                   const fs::path& root, bool shared) {
    static int group = 0;
    const fs::path dir = root / ("group" + std::to_string(++group));
    fs::create_directories(dir / "cache");
    std::vector<bench::Usage> usages(pages.size());
    std::vector<std::thread> runs;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const fs::path own = dir / ("sync" + std::to_string(i));
        fs::create_directories(own);
        if (shared) {
            fs::create_directory_symlink(dir / "cache", own / "cache"); // XDG_CACHE_HOME
        }
        runs.emplace_back([&, i, own] {
            usages[i] = bench::RunChild({dravik, "sync", "-q", "--outside-links", "--check", "Tree",
                                         "--links", "Tree", pages[i].string()},
                                        own);
        });
    }
    double slowest = 0;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        runs[i].join();
        slowest = usages[i].ok ? std::max(slowest, usages[i].wall) : -1e9;
    }
    return slowest;
}

int RunProcesses(int count, int reps, const std::string& dravik, const fs::path& root) {
    std::vector<std::unique_ptr<Nginx>> sites;
    std::vector<fs::path> pages;
    for (int i = 0; i < count; ++i) {
        fs::create_directories(root / ("site" + std::to_string(i)) / "tmp");
        sites.push_back(std::make_unique<Nginx>(root / ("site" + std::to_string(i))));
        pages.push_back(root / ("page" + std::to_string(i) + ".html"));
        bench::WriteHostPage(pages.back(), sites.back()->EngineOrigin());
    }
    // A registry of its own, with the measured build's module registered
    // before the clock runs: the user's may name another build's.
    ::setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    if (std::system(("'" + dravik + "' register >/dev/null").c_str()) != 0) {
        std::fprintf(stderr, "dravik register failed\n");
        return 1;
    }
    std::vector<double> alone, separate, together;
    for (int rep = 0; rep < reps; ++rep) {
        alone.push_back(RunTogether(dravik, {pages.front()}, root, false));
        separate.push_back(RunTogether(dravik, pages, root, false));
        together.push_back(RunTogether(dravik, pages, root, true));
    }
    fs::remove_all(root);
    const double one = bench::Median(alone);
    if (std::min({bench::Median(alone), bench::Median(separate), bench::Median(together)}) < 0) {
        std::fprintf(stderr, "a sync failed\n");
        return 1;
    }
    std::printf("tree site, %d requests a sync; medians of %d runs of the slowest sync, cache on "
                "disk\n",
                bench::RequestCount(), reps);
    std::printf("one sync alone              wall %6.2f s\n", one);
    std::printf("%d syncs, %d caches          wall %6.2f s  (%.2f x one)\n", count, count,
                bench::Median(separate), bench::Median(separate) / one);
    std::printf("%d syncs, one cache          wall %6.2f s  (%.2f x one; target <= %.2f on a "
                "site far away)\n",
                count, bench::Median(together), bench::Median(together) / one,
                count <= 2 ? 1.10 : 1.25);
    // On loopback the syncs share the processor: what sharing the cache
    // costs is the shared figure beside the separate one.
    std::printf("one cache / %d caches: %.2f\n", count,
                bench::Median(together) / bench::Median(separate));
    return 0;
}

} // namespace

int Run(int argc, char** argv) {
    // Options are judged before anything is made, so a bad one leaves nothing.
    const int reps = bench::Repetitions(argc, argv, 3);
    const fs::path root = ScratchRoot();
    if (const int processes = Option(argc, argv, "--processes"); processes > 0) {
        return RunProcesses(processes, reps, bench::DravikBinary(argc, argv), root);
    }
    fs::create_directories(root / "site" / "tmp");
    Nginx nginx(root / "site");
    const std::string start = nginx.EngineOrigin() + "/orx?ORXCmd=Show";
    if (argc == 3 && std::strcmp(argv[1], "--serve") == 0) {
        std::printf("%s\n", start.c_str());
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::seconds(std::atoi(argv[2])));
        fs::remove_all(root);
        return 0;
    }
    bench::WriteHostPage(root / "page.html", nginx.EngineOrigin());
    nginx.WriteCurlList(root / "urls.curl");
    bench::SideList sides = {
        // The floors: every URL known in advance, fetched by one process,
        // one at a time over one connection and six at a time.
        {"curl", {"curl", "--no-progress-meter", "-K", (root / "urls.curl").string()}},
        {"curl6",
         {"curl", "--no-progress-meter", "-Z", "--parallel-max", "6", "-K",
          (root / "urls.curl").string()}},
        {"wget",
         {"wget", "-q", "-r", "-l", std::to_string(bench::kDepth), "-p", "-H", "-nd",
          "--delete-after", "-e", "robots=off", start}},
        {"dravik", bench::SyncTree(bench::DravikBinary(argc, argv), (root / "page.html").string())},
        {"dravik6",
         bench::SyncTree(bench::DravikBinary(argc, argv), (root / "page.html").string(), "6")},
    };
    const bool otherBuild = bench::DravikBinary(argc, argv) != bench::DravikBinary(0, nullptr);
    if (otherBuild) {
        sides.pop_back(); // another build may not know --connections
    }
    bench::Sides results;
    std::map<std::string, int> requests;
    if (!bench::RunSides(
            sides, reps, root, [&] { return nginx.Requests(); }, results, requests)) {
        return 1;
    }
    fs::remove_all(root);
    const bench::Usage wget = results.MedianOf("wget");
    const bench::Usage dravik = results.MedianOf("dravik");
    std::printf("tree site: %d pages, %d requests expected; medians of %d runs, cache on disk\n",
                bench::PageCount(), bench::RequestCount(), reps);
    results.PrintRow("wget -r -p -H", "wget", requests["wget"]);
    results.PrintRow("curl, 1 at a time", "curl", requests["curl"]);
    results.PrintRow("curl, 6 at a time", "curl6", requests["curl6"]);
    results.PrintRow("dravik sync", "dravik", requests["dravik"]);
    if (!otherBuild) {
        results.PrintRow("dravik --connections 6", "dravik6", requests["dravik6"]);
    }
    std::printf("dravik/wget: wall %.2f (target <= 0.80)  cpu %.2f (target <= 1.00)  "
                "peak RSS %.1f MB (target <= 14)  requests %d vs %d\n",
                dravik.wall / wget.wall, dravik.cpu / wget.cpu, dravik.peakMb, requests["dravik"],
                requests["wget"]);
    if (!otherBuild) {
        const bench::Usage six = results.MedianOf("dravik6");
        std::printf("dravik --connections 6 / wget: wall %.2f (target <= 0.60)  cpu %.2f (target "
                    "<= 0.80)  peak RSS %.1f MB\n",
                    six.wall / wget.wall, six.cpu / wget.cpu, six.peakMb);
        std::printf(
            "dravik --connections 6 / curl one at a time: wall %.2f (target <= 1.10)  "
            "cpu %.2f;  / curl six at a time: wall %.2f  cpu %.2f\n",
            six.wall / results.MedianOf("curl").wall, six.cpu / results.MedianOf("curl").cpu,
            six.wall / results.MedianOf("curl6").wall, six.cpu / results.MedianOf("curl6").cpu);
    }
    return 0;
}

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_crawl: %s\n", e.what());
    }
    return 1;
}
