// What a command shows on standard error while the crawl runs.
//
// Quiet shows nothing. Lines shows each subscription's in-progress message
// as a line (for logs and pipes). Verbose adds a line per finished request
// with its status, as the demo lists them. Live keeps one line on a
// terminal up to date: subscription, requests, bytes and the URL being
// fetched, redrawn at most ten times a second, and erased before anything
// else is printed.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

class ProgressLine {
  public:
    enum class Mode { kQuiet, kLines, kVerbose, kLive };

    /// kLive when standard error is a terminal, else kLines; `quiet` and
    /// `verbose` choose kQuiet and kVerbose whatever it is.
    static Mode ModeFor(bool quiet, bool verbose);

    explicit ProgressLine(Mode mode) : m_mode(mode) {}
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
    std::mutex m_mutex; // the crawl reports from its own thread
    std::string m_subscription;
    std::string m_url;
    std::uint64_t m_requests = 0;
    std::uint64_t m_bytes = 0;
    bool m_shown = false;
    std::chrono::steady_clock::time_point m_lastDraw{};
};
