// SPDX-License-Identifier: Apache-2.0
// Requests per second answered from the URL cache through `dravik proxy`,
// against nginx serving the same files from a folder, in the same run.
//
// The files (a mix of 1, 4 and 16 KiB, as a page's images and style sheets
// are) are put in a folder that nginx serves on loopback, fetched once
// through the internet library into a fresh cache, and then asked for
// through the proxy (offline, so every answer comes from the cache). The
// load generator is wrk (Debian's package): keep-alive connections asking
// for the files in turn; absolute-form targets for the proxy. Both servers
// get two threads (nginx: two worker processes) and the same wrk settings.
//
// Then the hits again, alone and while 20 other clients keep asking for
// addresses the cache does not hold (each a miss the proxy notes): the
// rate and the 99th percentile of the hits' latency, with and without the
// storm.
//
// Last, forwards: a second proxy, online and keeping nothing, forwards the
// same files from nginx, alone and while 20 other clients wait on an origin
// that answers each request after a second; nginx asked directly is the
// peer's figure.
#include "MissStorm.h"
#include "SlowOrigin.h"
#include "host/proxy/ProxyServer.h"
#include "net/InternetSession.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr int kFiles = 120;
constexpr int kRounds = 3;
constexpr const char* kWrk = "wrk -t2 -d4s --latency";
// A browser or two (50 connections) and a small office behind one proxy (200).
constexpr int kConnectionCounts[] = {50, 200};
constexpr int kStormConnections = 50;
constexpr int kStormClients = 20;
constexpr int kForwardConnections = 10;
constexpr auto kSlowOriginDelay = std::chrono::seconds(1);

namespace fs = std::filesystem;

std::string FileName(int i) {
    return "/f" + std::to_string(i) + (i % 3 == 0 ? ".css" : ".gif");
}

std::size_t FileSize(int i) {
    return std::size_t{1024} << (2 * (i % 3)); // 1, 4, 16 KiB
}

/// A port nothing listens on now, for nginx's configuration.
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

pid_t StartNginx(const fs::path& dir, int port) {
    std::ofstream(dir / "nginx.conf")
        << "worker_processes 2; daemon off; pid " << (dir / "nginx.pid").string() << ";\n"
        << (::geteuid() == 0 ? "user root;\n" : "") << "events { worker_connections 1024; }\n"
        << "http { access_log off; sendfile on; tcp_nopush on; keepalive_requests 1000000;\n"
        << "  client_body_temp_path " << (dir / "t1").string() << "; proxy_temp_path "
        << (dir / "t2").string() << "; fastcgi_temp_path " << (dir / "t3").string()
        << "; uwsgi_temp_path " << (dir / "t4").string() << "; scgi_temp_path "
        << (dir / "t5").string() << ";\n"
        << "  types { image/gif gif; text/css css; }\n"
        << "  server { listen 127.0.0.1:" << port << "; root " << (dir / "site").string()
        << "; } }\n";
    const std::string conf = (dir / "nginx.conf").string();
    const std::string log = (dir / "nginx.log").string();
    std::vector<std::string> args = {"nginx", "-e", log, "-c", conf};
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    return posix_spawnp(&pid, "nginx", nullptr, nullptr, argv.data(), environ) == 0 ? pid : 0;
}

/// Fetches every file once through the library, which keeps it.
bool FillCache(int port) {
    HINTERNET session = OpenCrawlLikeSession();
    bool all = session != nullptr;
    std::vector<char> piece(65536);
    for (int i = 0; all && i < kFiles; ++i) {
        const std::string name = FileName(i);
        const std::u16string path(name.begin(), name.end());
        HINTERNET connect =
            InternetConnectW(session, u"127.0.0.1", static_cast<INTERNET_PORT>(port), nullptr,
                             nullptr, INTERNET_SERVICE_HTTP, 0, 0);
        HINTERNET request =
            HttpOpenRequestW(connect, u"GET", path.c_str(), u"HTTP/1.1", nullptr, nullptr,
                             INTERNET_FLAG_RELOAD | INTERNET_FLAG_NEED_FILE, 0);
        DWORD read = 1;
        all = HttpSendRequestW(request, nullptr, 0, nullptr, 0) != 0;
        while (all && read != 0) {
            all = InternetReadFile(request, piece.data(), static_cast<DWORD>(piece.size()), &read);
        }
        InternetCloseHandle(request);
        InternetCloseHandle(connect);
    }
    InternetCloseHandle(session);
    return all;
}

void WriteScript(const fs::path& path, const std::string& prefix, const std::string& host,
                 const std::string& suffix = "") {
    std::ofstream script(path);
    script << "local paths = {";
    for (int i = 0; i < kFiles; ++i) {
        script << (i == 0 ? "" : ", ") << "\"" << prefix << FileName(i) << suffix << "\"";
    }
    script << "}\nlocal n = 0\nrequest = function()\n  n = n % #paths + 1\n"
           << "  return wrk.format(\"GET\", paths[n], {Host = \"" << host << "\"})\nend\n";
}

struct Load {
    double rate = 0;
    double p99Ms = 0;
    std::string errors; // wrk's line about non-2xx answers or socket errors
};

/// "1.23ms", "950.00us" or "1.02s" in milliseconds.
double Milliseconds(const std::string& text) {
    std::size_t used = 0;
    const double value = std::stod(text, &used);
    const std::string unit = text.substr(used, 2);
    return unit == "us" ? value / 1000 : unit == "ms" ? value : value * 1000;
}

Load RunWrk(const fs::path& script, int port, int connections) {
    const std::string command = std::string(kWrk) + " -c" + std::to_string(connections) + " -s '" +
                                script.string() + "' http://127.0.0.1:" + std::to_string(port) +
                                "/ 2>&1";
    Load load;
    FILE* pipe = ::popen(command.c_str(), "r");
    char line[512];
    while (pipe != nullptr && std::fgets(line, sizeof line, pipe) != nullptr) {
        const std::string text = line;
        const auto p99 = text.find(" 99%");
        if (text.starts_with("Requests/sec:")) {
            load.rate = std::stod(text.substr(13));
        } else if (p99 != std::string::npos) {
            load.p99Ms = Milliseconds(text.substr(text.find_first_not_of(' ', p99 + 4)));
        } else if (text.find("Non-2xx") != std::string::npos ||
                   text.find("Socket errors") != std::string::npos) {
            load.errors += text;
        }
    }
    if (pipe != nullptr) {
        ::pclose(pipe);
    }
    return load;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

/// Both servers at one number of connections, by turns.
struct Comparison {
    int connections = 0;
    std::vector<double> nginxRates;
    std::vector<double> proxyRates;
    std::vector<double> ratios;
    std::string errors;
};

Comparison Compare(const fs::path& dir, int nginxPort, int proxyPort, int connections) {
    // Each round measures both, one right after the other; the ratio of a
    // round is taken so that load from elsewhere on the machine, which
    // changes from round to round, touches both sides of it alike.
    Comparison out;
    out.connections = connections;
    for (int round = 0; proxyPort != 0 && round < kRounds; ++round) {
        const Load plain = RunWrk(dir / "nginx.lua", nginxPort, connections);
        const Load cached = RunWrk(dir / "proxy.lua", proxyPort, connections);
        out.nginxRates.push_back(plain.rate);
        out.proxyRates.push_back(cached.rate);
        out.ratios.push_back(plain.rate > 0 ? cached.rate / plain.rate : 0);
        const std::string at = " at " + std::to_string(connections) + " connections: ";
        out.errors += plain.errors.empty() ? "" : "nginx" + at + plain.errors;
        out.errors += cached.errors.empty() ? "" : "proxy" + at + cached.errors;
    }
    return out;
}

void PrintComparison(const Comparison& c) {
    std::printf("\n%d connections\n%-8s %14s %14s %8s\n", c.connections, "round", "nginx req/s",
                "proxy req/s", "ratio");
    for (std::size_t round = 0; round < c.ratios.size(); ++round) {
        std::printf("%-8zu %14.0f %14.0f %8.2f\n", round + 1, c.nginxRates[round],
                    c.proxyRates[round], c.ratios[round]);
    }
    std::printf("%-8s %14.0f %14.0f %8.2f   (target ratio 0.80)\n", "median", Median(c.nginxRates),
                Median(c.proxyRates), Median(c.ratios));
}

bool WaitForPort(int port) {
    const std::string probe = "curl -s -o /dev/null http://127.0.0.1:" + std::to_string(port) + "/";
    for (int i = 0; i < 200; ++i) {
        if (std::system(probe.c_str()) == 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
}

int Run(const fs::path& dir) {
    fs::create_directories(dir / "site");
    fs::permissions(dir, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    for (int i = 0; i < kFiles; ++i) {
        std::ofstream(dir / ("site" + FileName(i))) << std::string(FileSize(i), 'a' + i % 26);
    }
    const int nginxPort = FreePort();
    const pid_t nginx = StartNginx(dir, nginxPort);
    if (nginx == 0 || !WaitForPort(nginxPort)) {
        std::fprintf(stderr, "bench_proxy: nginx did not start (see %s/nginx.log)\n", dir.c_str());
        return 1;
    }
    ::setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
    std::string error;
    proxy::ProxyOptions options;
    options.listen.port = 0;
    options.offline = true;
    const bool filled = FillCache(nginxPort);
    auto server = filled ? proxy::ProxyServer::Start(options, error) : nullptr;
    const std::string origin = "http://127.0.0.1:" + std::to_string(nginxPort);
    WriteScript(dir / "nginx.lua", "", "127.0.0.1:" + std::to_string(nginxPort));
    WriteScript(dir / "proxy.lua", origin, "127.0.0.1:" + std::to_string(nginxPort));
    std::vector<Comparison> comparisons;
    std::string errors;
    for (const int connections : kConnectionCounts) {
        comparisons.push_back(Compare(dir, nginxPort, server ? server->Port() : 0, connections));
        errors += comparisons.back().errors;
    }
    // Hits alone and under a storm of misses, taken by turns like the above.
    std::vector<Load> alone;
    std::vector<Load> stormed;
    long misses = 0;
    for (int round = 0; server && round < kRounds; ++round) {
        alone.push_back(RunWrk(dir / "proxy.lua", server->Port(), kStormConnections));
        const MissStorm storm(kStormClients, server->Port(), origin);
        stormed.push_back(RunWrk(dir / "proxy.lua", server->Port(), kStormConnections));
        misses += storm.Misses();
        errors += alone.back().errors.empty() ? "" : "hits alone: " + alone.back().errors;
        errors +=
            stormed.back().errors.empty() ? "" : "hits in the storm: " + stormed.back().errors;
    }
    // Forwards alone and beside clients waiting on a slow origin, by turns.
    proxy::ProxyOptions forwarding;
    forwarding.listen.port = 0;
    forwarding.noStore = true;
    auto forwarder = server ? proxy::ProxyServer::Start(forwarding, error) : nullptr;
    WriteScript(dir / "forward.lua", origin, "127.0.0.1:" + std::to_string(nginxPort),
                "?forwarded");
    std::vector<Load> direct;
    std::vector<Load> forwards;
    std::vector<Load> slowed;
    for (int round = 0; forwarder && round < kRounds; ++round) {
        direct.push_back(RunWrk(dir / "nginx.lua", nginxPort, kForwardConnections));
        forwards.push_back(RunWrk(dir / "forward.lua", forwarder->Port(), kForwardConnections));
        const SlowOrigin slow(kSlowOriginDelay);
        const MissStorm waiting(kStormClients, forwarder->Port(), slow.Url());
        slowed.push_back(RunWrk(dir / "forward.lua", forwarder->Port(), kForwardConnections));
        errors += forwards.back().errors.empty() ? "" : "forwards: " + forwards.back().errors;
        errors += slowed.back().errors.empty() ? "" : "forwards slowed: " + slowed.back().errors;
    }
    forwarder.reset();
    ::kill(nginx, SIGQUIT);
    ::waitpid(nginx, nullptr, 0);
    if (!server) {
        std::fprintf(stderr, "bench_proxy: %s\n", filled ? error.c_str() : "cannot fill the cache");
        return 1;
    }
    std::printf("%d files of 1-16 KiB, %s, %d rounds\n", kFiles, kWrk, kRounds);
    for (const Comparison& comparison : comparisons) {
        PrintComparison(comparison);
    }
    const auto medianOf = [&](const std::vector<Load>& loads, double Load::*field) {
        std::vector<double> values;
        for (const Load& load : loads) {
            values.push_back(load.*field);
        }
        return Median(values);
    };
    std::printf("\nhits through the proxy (%d connections), alone and with %d clients asking for "
                "missing addresses (%ld misses noted, %.0f/s)\n",
                kStormConnections, kStormClients, misses,
                static_cast<double>(misses) / (4.0 * kRounds));
    std::printf("%-8s %14s %14s %8s\n", "", "hits/s", "p99 ms", "");
    std::printf("%-8s %14.0f %14.2f\n", "alone", medianOf(alone, &Load::rate),
                medianOf(alone, &Load::p99Ms));
    std::printf("%-8s %14.0f %14.2f %8.2f   (rate under the storm / alone)\n", "storm",
                medianOf(stormed, &Load::rate), medianOf(stormed, &Load::p99Ms),
                medianOf(stormed, &Load::rate) / std::max(1.0, medianOf(alone, &Load::rate)));
    std::printf("\nforwards through a second proxy (online, keeping nothing, %d connections), "
                "alone and beside %d clients waiting on an origin that answers after %lld s\n",
                kForwardConnections, kStormClients,
                static_cast<long long>(kSlowOriginDelay.count()));
    std::printf("%-8s %14s %14s %8s\n", "", "req/s", "p99 ms", "");
    std::printf("%-8s %14.0f %14.2f\n", "nginx", medianOf(direct, &Load::rate),
                medianOf(direct, &Load::p99Ms));
    std::printf("%-8s %14.0f %14.2f %8.2f   (forwards / nginx asked directly)\n", "alone",
                medianOf(forwards, &Load::rate), medianOf(forwards, &Load::p99Ms),
                medianOf(forwards, &Load::rate) / std::max(1.0, medianOf(direct, &Load::rate)));
    std::printf("%-8s %14.0f %14.2f %8.2f   (rate beside the slow origin / alone)\n", "slowed",
                medianOf(slowed, &Load::rate), medianOf(slowed, &Load::p99Ms),
                medianOf(slowed, &Load::rate) / std::max(1.0, medianOf(forwards, &Load::rate)));
    if (!errors.empty()) {
        std::printf("errors reported by wrk:\n%s", errors.c_str());
    }
    return errors.empty() ? 0 : 1;
}

} // namespace

int main() {
    char pattern[] = "/tmp/dravik-bench-proxy-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        return 1;
    }
    const int status = Run(pattern);
    std::error_code ignored;
    fs::remove_all(pattern, ignored);
    return status;
}
