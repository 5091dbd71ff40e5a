// SPDX-License-Identifier: Apache-2.0
// Where a dialog's windows land on a character terminal.
//
// One cell is 4 horizontal and 8 vertical dialog units: a dialog unit is a
// quarter of the font's average character width and an eighth of its
// height, so one character of the template's font is one cell. The
// 312 x 185 panel takes 78 x 24 cells. A control takes the cells whose
// centres lie inside its rectangle, and a mouse click on a cell is a click
// at the cell's centre, so a click lands on the control drawn there.
#pragma once

#include "framework/ui/DialogTemplate.h"
#include "framework/ui/Gdi.h"

constexpr int kUnitsPerColumn = 4;
constexpr int kUnitsPerRow = 8;

/// Cells relative to a dialog's top left, or to the screen's.
struct CellRect {
    int row;
    int col;
    int rows;
    int cols;

    int Bottom() const { return row + rows; }
    int Right() const { return col + cols; }
    bool Holds(int r, int c) const { return r >= row && r < Bottom() && c >= col && c < Right(); }
};

/// The cells of a dialog's client area: every cell it touches.
CellRect DialogCells(const DialogTemplate& dialog);

/// The cells whose centres lie inside `rect`; at least the one holding
/// its centre, so that no control vanishes.
CellRect ControlCells(const DialogRect& rect);

/// The row of `rect`'s cells its one-line text goes on: the one holding
/// its vertical centre.
int TextRow(const DialogRect& rect);

/// The dialog-unit point at the centre of the cell (`row`, `col`).
POINT CellCentre(int row, int col);
