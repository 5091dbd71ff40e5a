// SPDX-License-Identifier: Apache-2.0
// Speed of the HTML tag scanner against a plain search through the same page.
//
// The page is generated once, deterministically: 8 MB of bytes with text
// between tags, tags with quoted and unquoted attributes, closing tags and
// comments, converted through the ANSI code page as response bodies are (so
// 16 MB of UTF-16 units). Throughput counts page bytes, one per unit, in MB
// of 10^6 bytes.
//   FindEveryOpening: the baseline (A), CVELString::Find of every "<".
//   CountOpenings:    a bare unit-by-unit count of "<", which the compiler
//                     vectorizes: roughly what reading the page costs.
//   ScanAndParse:     the page walk's loop (B): GetNextHtmlTag, then
//                     ParseHtmlTag on every tag that is not a comment.
// After the runs the best and the median MB/s of each, and the ratio B/A,
// are printed from the rates those runs reported.
#include "crawler/HtmlScanner.h"
#include "foundation/VELMemBuf.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr std::size_t kPageBytes = 8 << 20;

/// Small linear congruential generator: the same page on every machine.
class Random {
  public:
    std::uint32_t Next(std::uint32_t bound) {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(m_state >> 33) % bound;
    }

  private:
    std::uint64_t m_state = 0x5eed;
};

std::string Word(Random& random, std::uint32_t minLength, std::uint32_t spread) {
    std::string word;
    const std::uint32_t n = minLength + random.Next(spread);
    for (std::uint32_t i = 0; i < n; ++i) {
        word += static_cast<char>('a' + random.Next(26));
    }
    return word;
}

void AppendTag(std::string& page, Random& random) {
    static const char* const kNames[] = {"a", "img", "td", "div", "span", "p", "table", "input"};
    static const char* const kAttributes[] = {"href", "src", "class", "width", "alt", "id"};
    const char* name = kNames[random.Next(8)];
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on
    // "literal" + std::string chains.
    if (random.Next(3) == 0) {
        page.append("</").append(name).append(">");
        return;
    }
    page.append("<").append(name);
    for (std::uint32_t i = random.Next(5); i > 0; --i) {
        page.append(random.Next(4) == 0 ? "\n  " : " ").append(kAttributes[random.Next(6)]);
        switch (random.Next(4)) {
        case 0:
            page.append("=").append(Word(random, 1, 8));
            break;
        case 1:
            page.append("=\"").append(Word(random, 4, 30)).append("/");
            page.append(Word(random, 2, 10)).append(".htm\"");
            break;
        case 2:
            page.append("='").append(Word(random, 3, 12)).append(" ");
            page.append(Word(random, 3, 12)).append("'");
            break;
        default:
            break; // an attribute without a value
        }
    }
    page += ">";
}

CVELString MakePage() {
    Random random;
    std::string bytes;
    bytes.reserve(kPageBytes + 1024);
    while (bytes.size() < kPageBytes) {
        for (std::uint32_t i = random.Next(6); i > 0; --i) {
            bytes.append(Word(random, 1, 10)).append(random.Next(8) == 0 ? "\r\n" : " ");
        }
        if (random.Next(40) == 0) {
            bytes.append("<!-- ").append(Word(random, 5, 40)).append(" <b>old</b> -->");
        }
        AppendTag(bytes, random);
    }
    CVELMemBuf buffer;
    buffer.Insert(bytes.data(), 0, static_cast<std::int32_t>(bytes.size()));
    return CVELString(buffer);
}

const CVELString& Page() {
    static const CVELString page = MakePage();
    return page;
}

void SetPageBytes(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * Page().GetLength());
}

void FindEveryOpening(benchmark::State& state) {
    const CVELString& page = Page();
    for (auto _ : state) {
        std::int64_t count = 0;
        for (std::int32_t pos = page.Find(u'<'); pos >= 0; pos = page.Find(u'<', pos + 1)) {
            ++count;
        }
        benchmark::DoNotOptimize(count);
    }
    SetPageBytes(state);
}

void CountOpenings(benchmark::State& state) {
    const CVELString& page = Page();
    for (auto _ : state) {
        std::int64_t count = 0;
        const char16_t* data = page.GetData();
        for (std::int32_t i = 0; i < page.GetLength(); ++i) {
            count += data[i] == u'<';
        }
        benchmark::DoNotOptimize(count);
    }
    SetPageBytes(state);
}

bool IsComment(const CVELString& tag) {
    const char16_t* t = tag.GetData();
    return tag.GetLength() >= 4 && t[1] == u'!' && t[2] == u'-' && t[3] == u'-';
}

void ScanAndParse(benchmark::State& state) {
    const CVELString& page = Page();
    CVELString tag;
    CVELString name;
    CVELStringPairList attributes;
    CHtmlTagBuffers buffers;
    std::int64_t tags = 0;
    std::int64_t pairs = 0;
    for (auto _ : state) {
        tags = 0;
        pairs = 0;
        std::int32_t pos = 0;
        while (GetNextHtmlTag(page, pos, tag)) {
            if (!IsComment(tag) && ParseHtmlTag(tag, name, attributes, buffers)) {
                ++tags;
                pairs += attributes.GetCount();
            }
        }
        benchmark::DoNotOptimize(tags);
        benchmark::DoNotOptimize(pairs);
    }
    state.counters["tags"] = static_cast<double>(tags);
    state.counters["pairs"] = static_cast<double>(pairs);
    SetPageBytes(state);
}

// The machine is shared with other work that comes and goes. Each benchmark
// runs in repetitions that are interleaved at random with those of the
// others, so a passing load falls on all of them alike, and the summary gives
// the best and the median repetition of each.
constexpr int kRepetitions = 9;

BENCHMARK(FindEveryOpening)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);
BENCHMARK(CountOpenings)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);
BENCHMARK(ScanAndParse)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);

/// Prints the aggregates (or single runs) as usual and keeps the byte rate,
/// in MB/s, of every repetition by benchmark name.
class RateReporter : public benchmark::ConsoleReporter {
  public:
    RateReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        std::vector<Run> shown;
        for (const Run& run : runs) {
            const auto rate = run.counters.find("bytes_per_second");
            if (run.run_type == Run::RT_Iteration && rate != run.counters.end()) {
                m_rates[run.run_name.function_name].push_back(rate->second.value / 1e6);
            }
            if (run.run_type == Run::RT_Aggregate || run.repetitions <= 1) {
                shown.push_back(run);
            }
        }
        if (!shown.empty()) {
            ConsoleReporter::ReportRuns(shown);
        }
    }
    /// Best and median rate of `name`; zero when it did not run.
    std::pair<double, double> Rates(const std::string& name) const {
        const auto it = m_rates.find(name);
        if (it == m_rates.end()) {
            return {0.0, 0.0};
        }
        std::vector<double> rates = it->second;
        std::sort(rates.begin(), rates.end());
        return {rates.back(), rates[rates.size() / 2]};
    }

  private:
    std::map<std::string, std::vector<double>> m_rates;
};

} // namespace

int main(int argc, char** argv) {
    // Interleaving is on unless the command line, read after it, turns it off.
    std::vector<char*> args{argv[0]};
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.push_back(interleave);
    args.insert(args.end(), argv + 1, argv + argc);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) {
        return 1;
    }
    std::printf("page: %d bytes\n", Page().GetLength());
    std::fflush(stdout);
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const auto [baselineBest, baselineMedian] = reporter.Rates("FindEveryOpening");
    const auto [countBest, countMedian] = reporter.Rates("CountOpenings");
    const auto [scanBest, scanMedian] = reporter.Rates("ScanAndParse");
    if (baselineBest <= 0.0 || countBest <= 0.0 || scanBest <= 0.0) {
        return 0; // a filter left a benchmark out: no ratio to give
    }
    std::printf("\nMB/s of page bytes                best   median\n");
    std::printf("A  find every '<' (baseline): %8.1f %8.1f\n", baselineBest, baselineMedian);
    std::printf("   bare count of '<':          %8.1f %8.1f\n", countBest, countMedian);
    std::printf("B  scan and parse:             %8.1f %8.1f\n", scanBest, scanMedian);
    std::printf("B/A (target >= 0.25):          %8.3f %8.3f\n", scanBest / baselineBest,
                scanMedian / baselineMedian);
    return 0;
}
