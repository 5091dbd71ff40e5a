// SPDX-License-Identifier: Apache-2.0
// The tree site (CrawlBench.h) behind a server that answers each request
// after a delay, as a site far away does: `dravik sync --connections 1` and
// `--connections 6` against `wget -r -l 7 -p -H` and `wget2 --max-threads=6`,
// and the floor of six connections: curl fetching every URL of the site,
// known in advance, six at a time.
// Two distances: the whole tree 5 ms away, and a tree of three levels (175
// requests) 50 ms away, where a client that waits for each answer in turn
// spends almost all its time waiting.
//
// The link mode serves the three-level tree over https from nginx with a
// certificate of an authority the machine does not know, behind a relay
// that stands for a link of 50 ms round trip and 50 Mbit/s (LinkRelay.h):
// every handshake and every request pays the distance, as on a real
// network. wget, wget2 over HTTP/1.1 and HTTP/2, and two floors (curl with
// every URL known in advance, six at a time over HTTP/1.1, and all at once
// as streams of one HTTP/2 connection) run beside dravik.
//
// The server runs in this process with a thread per connection, so every
// client gets the same latency however many connections it opens. Each
// side runs as its own process; prints medians and ratios from one run.
//
//   bench_latency [--reps N] [--dravik PATH] [--latency 5|50]
//                                  (default 1 run each, both distances)
//   bench_latency --serve SECONDS  serves the 5 ms site alone
//   bench_latency --link [--reps N] [--dravik PATH]
#include "CrawlBench.h"
#include "LinkRelay.h"
#include "tests/support/TlsSite.h"

#define CPPHTTPLIB_THREAD_POOL_COUNT 32
#include <httplib.h>

#include <atomic>
#include <exception>
#include <fstream>
#include <map>
#include <stdexcept>
#include <thread>

namespace {

namespace fs = std::filesystem;

/// How far away a site is, and how much of the tree is served from there.
struct Distance {
    std::chrono::milliseconds latency;
    int levels;
};
constexpr Distance kNear{std::chrono::milliseconds(5), bench::kLevels};
constexpr Distance kFar{std::chrono::milliseconds(50), 3};

class SlowServer {
  public:
    explicit SlowServer(std::chrono::milliseconds latency) : m_latency(latency) {
        // Before binding: accepted sockets take the option from the listener.
        m_server.set_tcp_nodelay(true);
        // Connections stay open as long as a client keeps them, as nginx's do.
        m_server.set_keep_alive_max_count(1000000);
        m_port = m_server.bind_to_any_port("127.0.0.1");
    }
    ~SlowServer() {
        m_server.stop();
        m_thread.join();
    }
    void Serve(const std::map<std::string, std::string>& files) {
        m_server.Get(".*", [this, &files](const httplib::Request& req, httplib::Response& res) {
            ++m_requests;
            std::this_thread::sleep_for(m_latency);
            const auto it = files.find(req.path);
            if (it == files.end()) {
                res.status = 404;
                return;
            }
            const std::string& path = it->first;
            const char* type = path.ends_with(".gif")   ? "image/gif"
                               : path.ends_with(".css") ? "text/css"
                               : path.ends_with(".js")  ? "application/javascript"
                                                        : "text/html";
            res.set_content(it->second, type);
        });
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    std::string Origin() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    int Requests() const { return m_requests; }

  private:
    const std::chrono::milliseconds m_latency;
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    std::atomic<int> m_requests{0};
};

} // namespace

/// Runs every side against the site at `distance`; prints its rows and
/// ratios. False when a side failed.
bool RunDistance(const Distance& distance, int argc, char** argv) {
    // Judged before anything is made, so a bad option leaves nothing.
    const int reps = bench::Repetitions(argc, argv, 1);
    const fs::path root = fs::canonical("/proc/self/exe").parent_path() /
                          ("latency-scratch-" + std::to_string(::getpid()));
    fs::create_directories(root);
    SlowServer engine(distance.latency);
    SlowServer content(distance.latency);
    const bench::SiteFiles site = bench::MakeSite(content.Origin(), distance.levels);
    const std::map<std::string, std::string> engineFiles{{"/orx", site.startPage}};
    engine.Serve(engineFiles);
    content.Serve(site.content);
    bench::WriteHostPage(root / "page.html", engine.Origin());
    const std::string start = engine.Origin() + "/orx?ORXCmd=Show";
    if (argc == 3 && std::string(argv[1]) == "--serve") {
        // Serves the site alone for a while, for measuring either side by hand.
        std::printf("%s\n", start.c_str());
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::seconds(std::atoi(argv[2])));
        fs::remove_all(root);
        return true;
    }
    const std::string depth = std::to_string(bench::kDepth);
    const std::string dravik = bench::DravikBinary(argc, argv);
    const std::string page = (root / "page.html").string();
    bench::WriteCurlList(root / "urls.curl", start, content.Origin(), site.content);
    const auto sync = [&](const char* connections) {
        return bench::SyncTree(dravik, page, connections);
    };
    const bench::SideList sides = {
        {"wget",
         {"wget", "-q", "-r", "-l", depth, "-p", "-H", "-nd", "--delete-after", "-e", "robots=off",
          start}},
        // wget2 follows images, style sheets and scripts with -r alone; its
        // -p with -l stops at the start page.
        {"wget2 --max-threads=6",
         {"wget2", "-q", "-r", "-l", depth, "-H", "-nd", "--delete-after", "--robots=off",
          "--max-threads=6", start}},
        // No client of six connections can do better on this server.
        {"curl floor, 6 at a time",
         {"curl", "--no-progress-meter", "-Z", "--parallel-max", "6", "-K",
          (root / "urls.curl").string()}},
        {"dravik --connections 1", sync("1")},
        {"dravik --connections 6", sync("6")},
    };
    bench::Sides results;
    std::map<std::string, int> requests;
    if (!bench::RunSides(
            sides, reps, root, [&] { return engine.Requests() + content.Requests(); }, results,
            requests)) {
        return false;
    }
    fs::remove_all(root);
    std::printf("tree site of %d levels behind %lld ms per request: %d requests expected; "
                "medians of %d runs\n",
                distance.levels, static_cast<long long>(distance.latency.count()),
                bench::RequestCount(distance.levels), reps);
    for (const auto& [side, args] : sides) {
        results.PrintRow(side, side, requests[side]);
    }
    const double one = results.MedianOf("dravik --connections 1").wall;
    const double six = results.MedianOf("dravik --connections 6").wall;
    std::printf("connections 6 / connections 1: wall %.2f (target <= 0.50)\n", six / one);
    std::printf("connections 6 / wget2 6 threads: wall %.2f (target <= 0.80)\n",
                six / results.MedianOf("wget2 --max-threads=6").wall);
    std::printf("connections 6 / curl floor: wall %.2f; wget2 6 threads / curl floor: %.2f\n",
                six / results.MedianOf("curl floor, 6 at a time").wall,
                results.MedianOf("wget2 --max-threads=6").wall /
                    results.MedianOf("curl floor, 6 at a time").wall);
    std::printf("connections 1 / wget: wall %.2f\n\n", one / results.MedianOf("wget").wall);
    return true;
}

/// A port nothing listens on now, for a server started by another program.
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("no free port");
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

/// The link mode: every side against the https site behind the link.
bool RunLink(int argc, char** argv) {
    // Judged before anything is made, so a bad option leaves nothing.
    const int reps = bench::Repetitions(argc, argv, 1);
    const fs::path root = fs::canonical("/proc/self/exe").parent_path() /
                          ("link-scratch-" + std::to_string(::getpid()));
    fs::create_directories(root);
    const int tlsPort = FreePort();
    const int enginePort = FreePort();
    const bench::LinkRelay link(tlsPort, std::chrono::milliseconds(50), 50e6);
    const std::string origin = "https://127.0.0.1:" + std::to_string(link.Port());
    const bench::SiteFiles site = bench::MakeSite(origin, kFar.levels);
    const testsupport::TlsSite server(root / "site", site.content, site.startPage, tlsPort,
                                      enginePort);
    const std::string engine = "http://127.0.0.1:" + std::to_string(enginePort);
    bench::WriteHostPage(root / "page.html", engine);
    const std::string start = engine + "/orx?ORXCmd=Show";
    bench::WriteCurlList(root / "urls.curl", start, origin, site.content);
    const std::string depth = std::to_string(bench::kDepth);
    const std::string dravik = bench::DravikBinary(argc, argv);
    const std::string page = (root / "page.html").string();
    const auto sync = [&](const char* connections) {
        return bench::SyncTree(dravik, page, connections);
    };
    const auto http2Sync = [&](const char* connections) {
        std::vector<std::string> args = bench::SyncTree(dravik, page, connections);
        args.insert(args.begin() + 2, "--http2");
        return args;
    };
    const auto wget2 = [&](const char* protocol) {
        return std::vector<std::string>{"wget2",
                                        "-q",
                                        "-r",
                                        "-l",
                                        depth,
                                        "-H",
                                        "-nd",
                                        "--delete-after",
                                        "--robots=off",
                                        "--check-certificate=off",
                                        "--max-threads=6",
                                        protocol,
                                        start};
    };
    const auto curl = [&](const char* protocol, const char* atOnce) {
        return std::vector<std::string>{
            "curl", "--no-progress-meter",        "-k", protocol, "-Z", "--parallel-max", atOnce,
            "-K",   (root / "urls.curl").string()};
    };
    const bench::SideList sides = {
        {"wget",
         {"wget", "-q", "-r", "-l", depth, "-p", "-H", "-nd", "--delete-after", "-e", "robots=off",
          "--no-check-certificate", start}},
        {"wget2 6 threads h1", wget2("--no-http2")},
        {"wget2 6 threads h2", wget2("--http2")},
        {"curl floor h1 x6", curl("--http1.1", "6")},
        // Every request in flight at once, as streams of one connection.
        {"curl floor h2 mux", curl("--http2", "100")},
        {"dravik --connections 1", sync("1")},
        {"dravik --connections 6", sync("6")},
        {"dravik --connections 6 --http2", http2Sync("6")},
    };
    bench::Sides results;
    std::map<std::string, int> requests;
    if (!bench::RunSides(
            sides, reps, root, [&] { return server.Requests(); }, results, requests)) {
        return false;
    }
    std::printf("https tree site of %d levels behind a link of 50 ms round trip and 50 Mbit/s, "
                "certificate of an unknown authority: %d requests expected; medians of %d runs\n",
                kFar.levels, bench::RequestCount(kFar.levels), reps);
    for (const auto& [side, args] : sides) {
        results.PrintRow(side, side, requests[side]);
    }
    const auto wall = [&results](const char* side) { return results.MedianOf(side).wall; };
    std::printf("connections 1 / wget: wall %.2f (target <= 1.05)\n",
                wall("dravik --connections 1") / wall("wget"));
    std::printf("connections 6 / curl floor h1: wall %.2f (target <= 1.10)\n",
                wall("dravik --connections 6") / wall("curl floor h1 x6"));
    std::printf("connections 6 --http2 / wget2 6 threads h2: wall %.2f (target <= 0.8); "
                "wget2 h2 / curl floor h2: %.2f\n\n",
                wall("dravik --connections 6 --http2") / wall("wget2 6 threads h2"),
                wall("wget2 6 threads h2") / wall("curl floor h2 mux"));
    fs::remove_all(root);
    return true;
}

/// The distances `--latency MS` names, both without it.
std::vector<Distance> Distances(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--latency") {
            const int ms = std::atoi(argv[i + 1]);
            if (ms != kNear.latency.count() && ms != kFar.latency.count()) {
                throw std::invalid_argument("--latency takes 5 or 50");
            }
            return {ms == kNear.latency.count() ? kNear : kFar};
        }
    }
    return {kNear, kFar};
}

int Run(int argc, char** argv) {
    if (argc >= 2 && std::string(argv[1]) == "--link") {
        return RunLink(argc, argv) ? 0 : 1;
    }
    if (argc == 3 && std::string(argv[1]) == "--serve") {
        return RunDistance(kNear, argc, argv) ? 0 : 1;
    }
    for (const Distance& distance : Distances(argc, argv)) {
        if (!RunDistance(distance, argc, argv)) {
            return 1;
        }
    }
    return 0;
}

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_latency: %s\n", e.what());
    }
    return 1;
}
