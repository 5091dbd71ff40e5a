// SPDX-License-Identifier: Apache-2.0
// Colours, rectangles and the little of a device context that the control
// paints with.
//
// A front end paints; the model only records what to paint. A colour query
// hands the dialog a CDC whose background colour it may set, and takes back
// the colour of the brush to fill with. A control's drawing fills
// rectangles of a CDC, which keeps the fills in order for the front end.
// Brushes are solid here, so a brush is its colour.
#pragma once

#include "platform/kernel/WinTypes.h"

#include <vector>

/// A colour as 0x00BBGGRR.
using COLORREF = DWORD;

constexpr COLORREF RGB(int red, int green, int blue) {
    return static_cast<COLORREF>((red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16));
}
constexpr int GetRValue(COLORREF c) {
    return static_cast<int>(c & 0xFF);
}
constexpr int GetGValue(COLORREF c) {
    return static_cast<int>((c >> 8) & 0xFF);
}
constexpr int GetBValue(COLORREF c) {
    return static_cast<int>((c >> 16) & 0xFF);
}

/// The face colour of dialogs and buttons when nobody asks for another.
constexpr COLORREF kDialogFaceColor = RGB(240, 240, 240);

/// Kinds of colour request: which sort of window is about to be painted.
constexpr UINT CTLCOLOR_BTN = 3;    ///< a push button
constexpr UINT CTLCOLOR_DLG = 4;    ///< the dialog's own background
constexpr UINT CTLCOLOR_STATIC = 6; ///< a static text, check box or radio button

/// A point: x to the right, y downwards.
struct POINT {
    LONG x;
    LONG y;
};

/// A rectangle: left and top inside, right and bottom just outside.
struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;

    friend constexpr bool operator==(const RECT&, const RECT&) = default;
};

// Stock brushes.
constexpr int WHITE_BRUSH = 0;
constexpr int BLACK_BRUSH = 4;

/// The colour of a stock brush (black for ids it does not know).
constexpr COLORREF GetStockObject(int brush) {
    return brush == WHITE_BRUSH ? RGB(255, 255, 255) : RGB(0, 0, 0);
}

/// The drawing state a colour handler may adjust before a control paints,
/// and the fills painted on it.
class CDC {
  public:
    struct Fill {
        RECT rect;
        COLORREF brush;
    };

    /// Starts with the platform's default background, white.
    CDC() = default;

    /// Returns the previous colour.
    COLORREF SetBkColor(COLORREF color) {
        COLORREF previous = m_bkColor;
        m_bkColor = color;
        return previous;
    }
    COLORREF GetBkColor() const { return m_bkColor; }

    /// Fills `rect` with the brush's colour.
    void FillRect(const RECT& rect, COLORREF brush) { m_fills.push_back({rect, brush}); }
    /// The fills so far, in the order they were painted.
    const std::vector<Fill>& GetFills() const { return m_fills; }

  private:
    COLORREF m_bkColor = RGB(255, 255, 255);
    std::vector<Fill> m_fills;
};
