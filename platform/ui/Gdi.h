// Colours and the little of a device context that colour queries touch.
//
// A front end paints; the model only answers which colours to paint with.
// A colour query hands the dialog a CDC whose background colour it may set,
// and takes back the colour of the brush to fill with.
#pragma once

#include "platform/kernel/WinTypes.h"

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

/// The drawing state a colour handler may adjust before a control paints.
class CDC {
  public:
    /// Starts with the platform's default background, white.
    CDC() = default;

    /// Returns the previous colour.
    COLORREF SetBkColor(COLORREF color) {
        COLORREF previous = m_bkColor;
        m_bkColor = color;
        return previous;
    }
    COLORREF GetBkColor() const { return m_bkColor; }

  private:
    COLORREF m_bkColor = RGB(255, 255, 255);
};
