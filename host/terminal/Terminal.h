// SPDX-License-Identifier: Apache-2.0
// The terminal as the panel's front end uses it: ncurses in full-screen
// mode with keypad keys, mouse clicks and colours, and the terminal put
// back as it was however the program leaves, on return, on an exception
// (the destructor) and on Ctrl-C or a termination signal (a handler that
// ends curses before the signal takes its usual course, or, under an
// InterruptGuard, a step of the guard's).
//
// ncurses is not thread-safe and the crawl reports progress from its own
// thread, so every drawing call holds Lock().
#pragma once

#include "framework/ui/Gdi.h"
#include "host/common/InterruptGuard.h"

#include <curses.h>

#include <map>
#include <mutex>
#include <optional>
#include <utility>

class Terminal {
  public:
    /// Whether standard input and standard output are both terminals.
    static bool Available();

    /// Takes over the terminal. Throws std::runtime_error when ncurses
    /// cannot drive it (an unknown TERM, say).
    Terminal();
    ~Terminal();
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    std::mutex& Lock() { return m_mutex; }

    /// The attributes for text of colour `text` on `background`, as near as
    /// the terminal's colours come; plain when it has none.
    attr_t Colors(COLORREF text, COLORREF background);
    /// The terminal's own colours (pair 0), for what lies outside every window.
    static attr_t DefaultColors() { return A_NORMAL; }

    /// Reads one key (or KEY_MOUSE, KEY_RESIZE), waiting for it.
    int ReadKey();

  private:
    attr_t Pair(short text, short background);
    short NearestColor(COLORREF color) const;

    SCREEN* m_screen = nullptr;
    std::optional<InterruptStep> m_leave; // the screen put back when a guard's signal ends the run
    std::mutex m_mutex;
    std::map<std::pair<short, short>, short> m_pairs;
    bool m_colors = false;
};
