// SPDX-License-Identifier: Apache-2.0
// Drawing the UI model's dialogs with ncurses: each window as the model
// holds it (visible or not, enabled or not, checked or not, focused or
// not, its text and the colours its dialog answers a colour query with),
// placed by the template through the cell layout. The caller holds the
// terminal's lock and refreshes the screen afterwards.
#pragma once

#include "framework/ui/Dialog.h"
#include "host/terminal/CellLayout.h"
#include "host/terminal/Terminal.h"

#include <string>
#include <string_view>

/// Text colour of enabled and of disabled controls.
constexpr COLORREF kWindowText = RGB(0, 0, 0);
constexpr COLORREF kGrayText = RGB(109, 109, 109);
/// What a window that cannot be asked for its colours is painted with.
constexpr CtlColors kFaceColors{kDialogFaceColor, kDialogFaceColor};

/// Fills `area` (screen cells) with blanks of `attr`.
void FillCells(const CellRect& area, attr_t attr);

/// Writes `text` from (`row`, `col`), clipped to `cells` cells.
void PutText(int row, int col, std::wstring_view text, int cells, attr_t attr);

/// A frame on the edge cells of `area`, with `caption` in its top edge at
/// the left and `hint` in its bottom edge at the right (each left out when
/// empty or when the frame is too narrow for it).
void PaintFrame(const CellRect& area, std::wstring_view caption, std::wstring_view hint,
                attr_t attr);

/// Draws the client area of `dialog`, which exists, with its top left at
/// the screen cell (`row`, `col`): its background, then every visible
/// control (transparent ones after their siblings, as they are painted).
void PaintDialog(Terminal& terminal, CDialog& dialog, int row, int col);

/// A push button's face: "< text >".
std::wstring ButtonFace(std::wstring_view text);
