// SPDX-License-Identifier: Apache-2.0
#include "host/terminal/CellLayout.h"

#include <algorithm>

namespace {

/// The smallest integer not below a / b, for b > 0.
int CeilDiv(int a, int b) {
    return a >= 0 ? (a + b - 1) / b : -((-a) / b);
}

/// The cells [first, end) whose centres lie in [from, to) along one axis.
void Span(int from, int to, int unitsPerCell, int& first, int& count) {
    const int half = unitsPerCell / 2;
    first = CeilDiv(from - half, unitsPerCell);
    count = std::max(0, CeilDiv(to - half, unitsPerCell) - first);
    if (count == 0) {
        first = (from + (to - from) / 2) / unitsPerCell;
        count = 1;
    }
}

} // namespace

CellRect DialogCells(const DialogTemplate& dialog) {
    return {0, 0, CeilDiv(dialog.height, kUnitsPerRow), CeilDiv(dialog.width, kUnitsPerColumn)};
}

CellRect ControlCells(const DialogRect& rect) {
    CellRect cells{};
    Span(rect.top, rect.top + rect.height, kUnitsPerRow, cells.row, cells.rows);
    Span(rect.left, rect.left + rect.width, kUnitsPerColumn, cells.col, cells.cols);
    return cells;
}

int TextRow(const DialogRect& rect) {
    const CellRect cells = ControlCells(rect);
    const int centre = (2 * rect.top + rect.height) / (2 * kUnitsPerRow);
    return std::clamp(centre, cells.row, cells.Bottom() - 1);
}

POINT CellCentre(int row, int col) {
    return {col * kUnitsPerColumn + kUnitsPerColumn / 2, row * kUnitsPerRow + kUnitsPerRow / 2};
}
