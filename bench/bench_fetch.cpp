// SPDX-License-Identifier: Apache-2.0
// Requests per second of CHttpRequest against the curl command line.
//
// A loopback server serves N small pages. The baseline fetches all of them
// with one `curl -s URL1 URL2 ...` invocation, which reuses its connection;
// the measured code fetches them one CHttpRequest each, the way a crawl
// does, over the module's one session. Both figures come from the same run.
#include "bench/RateReporter.h"
#include "net/HeaderBlock.h"
#include "net/HttpRequest.h"
#include "net/InternetSession.h"
#include "net/Url.h"

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kPages = 400;

class PageServer {
  public:
    PageServer() : m_body(1024, 'p') {
        m_server.Get(R"(/p/\d+)", [this](const httplib::Request& req, httplib::Response& res) {
            res.set_content(m_body, "text/html");
            // Every new connection comes from a new ephemeral port.
            std::lock_guard lock(m_mutex);
            m_ports.insert(req.remote_port);
        });
        m_server.set_tcp_nodelay(true);
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    ~PageServer() {
        m_server.stop();
        m_thread.join();
    }
    std::string Url(int i) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + "/p/" + std::to_string(i);
    }
    int Connections() const {
        std::lock_guard lock(m_mutex);
        return static_cast<int>(m_ports.size());
    }

  private:
    std::string m_body;
    httplib::Server m_server;
    mutable std::mutex m_mutex;
    std::set<int> m_ports;
    int m_port = 0;
    std::thread m_thread;
};

PageServer& Server() {
    static PageServer server;
    return server;
}

void CurlCommandLine(benchmark::State& state) {
    const std::filesystem::path config =
        std::filesystem::temp_directory_path() / "dravik-bench-urls.txt";
    {
        std::ofstream out(config);
        for (int i = 0; i < kPages; ++i) {
            out << "url = \"" << Server().Url(i) << "\"\n";
        }
    }
    const std::string command = "curl -s -K " + config.string() + " > /dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("curl failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kPages);
    std::filesystem::remove(config);
}

bool FetchOne(const std::u16string& url, DWORD extraFlags) {
    CHttpRequest request;
    ParseURL(url.c_str(), request.m_host, request.m_path, &request.m_nPort, &request.m_bSecure);
    request.m_dwFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_HYPERLINK | extraFlags;
    SetHeader(request.m_headers, u"User-agent", u"bench");
    DWORD status = 0;
    CVELString headers;
    if (!request.SendRequest() || !request.ReadResponseHeaders(&status, headers)) {
        return false;
    }
    DWORD count = 0;
    do {
        if (!request.ReadData(&count)) {
            return false;
        }
    } while (count != 0);
    return status == 200;
}

void Fetch(benchmark::State& state, DWORD extraFlags) {
    std::vector<std::u16string> urls;
    for (int i = 0; i < kPages; ++i) {
        const std::string url = Server().Url(i);
        urls.emplace_back(url.begin(), url.end());
    }
    const int connectionsBefore = Server().Connections();
    for (auto _ : state) {
        for (const std::u16string& url : urls) {
            if (!FetchOne(url, extraFlags)) {
                state.SkipWithError("fetch failed");
                return;
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * kPages);
    state.counters["connections"] = Server().Connections() - connectionsBefore;
}

void HttpRequestNoCache(benchmark::State& state) {
    Fetch(state, INTERNET_FLAG_NO_CACHE_WRITE);
}
void HttpRequestCached(benchmark::State& state) {
    Fetch(state, INTERNET_FLAG_NEED_FILE);
}

BENCHMARK(CurlCommandLine)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly();
BENCHMARK(HttpRequestNoCache)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly();
BENCHMARK(HttpRequestCached)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly();

} // namespace

int main(int argc, char** argv) {
    // The cache of a benchmark run is thrown away with it.
    const std::filesystem::path home =
        std::filesystem::temp_directory_path() / ("dravik-bench-" + std::to_string(::getpid()));
    ::setenv("XDG_CACHE_HOME", home.c_str(), 1);
    benchmark::Initialize(&argc, argv);
    if (!OpenInternetSession()) {
        std::fprintf(stderr, "cannot open the internet session\n");
        return 1;
    }
    RateReporter reporter("items_per_second");
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    CloseInternetSession();
    std::filesystem::remove_all(home);
    const double curl = reporter.Rate("CurlCommandLine");
    if (curl > 0) {
        std::printf("\ncurl command line: %8.0f requests/s (baseline)\n", curl);
        for (const char* name : {"HttpRequestNoCache", "HttpRequestCached"}) {
            const double rate = reporter.Rate(name);
            std::printf("%-18s %8.0f requests/s, %.2f of curl (target >= 0.80)\n", name, rate,
                        rate / curl);
        }
    }
    return 0;
}
