// SPDX-License-Identifier: Apache-2.0
// A modal box drawn over the panel: the message boxes the control shows
// (caption, an icon glyph for the box's type, the text, OK) and questions
// the front end asks (Yes, No). Under the text it may carry notes of the
// front end's own. It only lays itself out, paints and maps keys and
// clicks to the button chosen; the caller runs the loop.
#pragma once

#include "host/terminal/CellLayout.h"
#include "host/terminal/Terminal.h"

#include <string>
#include <vector>

class ModalBox {
  public:
    struct Button {
        int id;
        std::wstring text;
    };

    /// `glyph` (empty for none) stands before the text; `cancelId` is what
    /// Esc answers. The first button has the focus.
    ModalBox(std::wstring caption, std::wstring glyph, std::wstring text, std::wstring notes,
             std::vector<Button> buttons, int cancelId);

    /// The glyph for a message box type's icon (MB_ICON*): "!", "X", "?",
    /// "i", or empty for none.
    static std::wstring IconGlyph(UINT type);

    /// Draws the box centred on a screen of `rows` x `cols`.
    void Paint(Terminal& terminal, int rows, int cols);
    /// The button a key chooses, or 0: Enter or Space the focused one, Esc
    /// the cancel answer, a button's first letter that one; Tab, Shift-Tab
    /// and the arrows move the focus.
    int OnKey(int key);
    /// The button drawn at the screen cell, or 0.
    int OnClick(int row, int col) const;

  private:
    std::wstring m_caption;
    std::wstring m_glyph;
    std::wstring m_text;
    std::wstring m_notes;
    std::vector<Button> m_buttons;
    int m_cancelId;
    std::size_t m_focus = 0;
    std::vector<CellRect> m_buttonCells; // where Paint put them
};
