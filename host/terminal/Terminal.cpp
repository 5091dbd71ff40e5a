// SPDX-License-Identifier: Apache-2.0
#include "host/terminal/Terminal.h"

#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <csignal>
#include <stdexcept>

namespace {

struct sigaction g_previousInt {};
struct sigaction g_previousTerm {};

/// Ends curses, then lets the signal do what it would have done.
void LeaveOnSignal(int signal) {
    endwin();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void Catch(int signal, struct sigaction& previous) {
    struct sigaction action {};
    action.sa_handler = &LeaveOnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, &previous);
}

} // namespace

bool Terminal::Available() {
    return ::isatty(STDIN_FILENO) != 0 && ::isatty(STDOUT_FILENO) != 0;
}

Terminal::Terminal() {
    std::setlocale(LC_ALL, ""); // labels are UTF-8 on a UTF-8 terminal
    m_screen = newterm(nullptr, stdout, stdin);
    if (m_screen == nullptr) {
        throw std::runtime_error("the terminal type (TERM) is unknown to ncurses");
    }
    set_term(m_screen);
    Catch(SIGINT, g_previousInt);
    Catch(SIGTERM, g_previousTerm);
    m_leave.emplace([] {
        endwin();
        return std::string();
    });
    cbreak(); // keys at once, Ctrl-C still interrupts
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    curs_set(0);
    set_escdelay(25); // Esc on its own closes; a longer wait feels stuck
    mousemask(BUTTON1_PRESSED | BUTTON1_CLICKED, nullptr);
    mouseinterval(0);
    if (has_colors()) {
        start_color();
        m_colors = true;
    }
}

Terminal::~Terminal() {
    m_leave.reset();
    endwin();
    delscreen(m_screen);
    sigaction(SIGINT, &g_previousInt, nullptr);
    sigaction(SIGTERM, &g_previousTerm, nullptr);
}

int Terminal::ReadKey() {
    return wgetch(stdscr);
}

short Terminal::NearestColor(COLORREF color) const {
    const int r = GetRValue(color);
    const int g = GetGValue(color);
    const int b = GetBValue(color);
    // curses numbers its colours with red, green and blue as bits 0 to 2;
    // the bright variants follow as 8 to 15 on terminals that have them.
    short index = static_cast<short>((r >= 128 ? 1 : 0) | (g >= 128 ? 2 : 0) | (b >= 128 ? 4 : 0));
    if (COLORS >= 16) {
        const int high = std::max({r, g, b});
        if (index == 0 && high >= 0x60) {
            index = 8; // grey: disabled text
        } else if (index != 0 && std::min({index & 1 ? r : 255, index & 2 ? g : 255,
                                           index & 4 ? b : 255}) >= 0xF8) {
            index = static_cast<short>(index + 8);
        }
    }
    return index;
}

attr_t Terminal::Colors(COLORREF text, COLORREF background) {
    return Pair(NearestColor(text), NearestColor(background));
}

attr_t Terminal::Pair(short text, short background) {
    if (!m_colors) {
        return A_NORMAL;
    }
    const auto key = std::make_pair(text, background);
    auto found = m_pairs.find(key);
    if (found == m_pairs.end()) {
        const auto number = static_cast<short>(m_pairs.size() + 1);
        if (number >= COLOR_PAIRS) {
            return A_NORMAL;
        }
        init_pair(number, text, background);
        found = m_pairs.emplace(key, number).first;
    }
    return COLOR_PAIR(found->second);
}
