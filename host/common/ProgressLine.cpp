// SPDX-License-Identifier: Apache-2.0
#include "host/common/ProgressLine.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

std::size_t TerminalWidth() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 20) {
        return size.ws_col;
    }
    return 80;
}

std::string Bytes(std::uint64_t bytes) {
    char text[32];
    if (bytes < 1024) {
        std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(bytes));
    } else if (bytes < std::uint64_t{1} << 20) {
        std::snprintf(text, sizeof text, "%.1f KiB", static_cast<double>(bytes) / 1024);
    } else {
        std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1 << 20));
    }
    return text;
}

} // namespace

std::string DescribeProgress(const ProgressCounts& counts) {
    std::string text = std::to_string(counts.requests) +
                       (counts.requests == 1 ? " request | " : " requests | ") +
                       Bytes(counts.bytes);
    if (!counts.url.empty()) {
        text += " | " + counts.url;
    }
    return text;
}

ProgressLine::Mode ProgressLine::ModeFor(bool quiet, bool verbose) {
    if (quiet) {
        return Mode::kQuiet;
    }
    if (verbose) {
        return Mode::kVerbose;
    }
    return ::isatty(STDERR_FILENO) ? Mode::kLive : Mode::kLines;
}

void ProgressLine::Subscription(const std::string& text) {
    const std::lock_guard lock(m_mutex);
    m_subscription = text;
    if (m_mode == Mode::kLines || m_mode == Mode::kVerbose) {
        std::cerr << text << "\n";
    }
    Draw(true);
}

void ProgressLine::RequestSent(const std::string& url) {
    const std::lock_guard lock(m_mutex);
    ++m_counts.requests;
    m_counts.url = url;
    Draw(false);
}

void ProgressLine::BytesReceived(std::uint64_t bytes) {
    const std::lock_guard lock(m_mutex);
    m_counts.bytes += bytes;
    Draw(false);
}

void ProgressLine::RequestDone(const std::string& url, unsigned status,
                               const std::string& failure) {
    const std::lock_guard lock(m_mutex);
    if (m_mode != Mode::kVerbose) {
        return;
    }
    if (failure.empty()) {
        std::cerr << "  " << status << "  " << url << "\n";
    } else {
        std::cerr << "  failed  " << url << ": " << failure << "\n";
    }
}

void ProgressLine::Clear() {
    const std::lock_guard lock(m_mutex);
    if (m_shown) {
        std::cerr << "\r\x1b[K" << std::flush;
        m_shown = false;
    }
}

void ProgressLine::Draw(bool force) {
    if (m_sink) {
        m_sink(m_counts);
        return;
    }
    if (m_mode != Mode::kLive) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - m_lastDraw < kRedrawInterval) {
        return;
    }
    m_lastDraw = now;
    std::string line = m_subscription;
    line += (line.empty() ? "" : " | ") + DescribeProgress(m_counts);
    const std::size_t width = TerminalWidth() - 1;
    if (line.size() > width) {
        line = line.substr(0, width - 3) + "...";
    }
    std::cerr << "\r" << line << "\x1b[K" << std::flush;
    m_shown = true;
}
