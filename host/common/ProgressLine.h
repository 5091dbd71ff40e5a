// SPDX-License-Identifier: Apache-2.0
// What a command shows on standard error while the crawl runs.
//
// Quiet shows nothing. Lines shows each subscription's in-progress message
// as a line (for logs and pipes). Verbose adds a line per finished request
// with its status, as the demo lists them. Live keeps one line on a
// terminal up to date: subscription, requests, bytes and the URL being
// fetched, redrawn at most ten times a second, and erased before anything
// else is printed. A front end that draws the line itself gives a sink,
// which gets the figures at every change and keeps its own pace.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

/// The figures of a live line: requests made, body bytes received, the URL
/// being fetched (empty before the first request).
struct ProgressCounts {
    std::uint64_t requests = 0;
    std::uint64_t bytes = 0;
    std::string url;
};

/// "3 requests | 1.2 KiB | URL", the figures as the live line words them.
std::string DescribeProgress(const ProgressCounts& counts);

class ProgressLine {
  public:
    enum class Mode { kQuiet, kLines, kVerbose, kLive };

    /// kLive when standard error is a terminal, else kLines; `quiet` and
    /// `verbose` choose kQuiet and kVerbose whatever it is.
    static Mode ModeFor(bool quiet, bool verbose);

    /// Receives the figures at every change, on the thread that reports it,
    /// which it should keep waiting no longer than it takes to copy them.
    using Sink = std::function<void(const ProgressCounts& counts)>;

    explicit ProgressLine(Mode mode) : m_mode(mode) {}
    /// A live line drawn by `sink` instead of on standard error.
    explicit ProgressLine(Sink sink) : m_mode(Mode::kLive), m_sink(std::move(sink)) {}
    ~ProgressLine() { Clear(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    /// The subscription being synchronized, as its in-progress message says.
    void Subscription(const std::string& text);
    void RequestSent(const std::string& url);
    void BytesReceived(std::uint64_t bytes);
    /// A request ended: its HTTP status (0 when none came) or the reason it
    /// failed (empty when it did not).
    void RequestDone(const std::string& url, unsigned status, const std::string& failure);

    /// Erases the live line, so that other output starts at the margin.
    void Clear();

  private:
    void Draw(bool force);

    const Mode m_mode;
    const Sink m_sink;
    std::mutex m_mutex; // the crawl reports from its own thread
    std::string m_subscription;
    ProgressCounts m_counts;
    bool m_shown = false;
    std::chrono::steady_clock::time_point m_lastDraw{};
};
