// SPDX-License-Identifier: Apache-2.0
#include "host/terminal/DialogPainter.h"

#include "framework/ui/Button.h"
#include "framework/ui/Dialog.h"
#include "host/terminal/TextCells.h"

#include <algorithm>

namespace {

/// The screen cells of `control` in a dialog drawn at (row, col).
CellRect ScreenCells(const ControlTemplate& control, int row, int col) {
    CellRect cells = ControlCells(control.rect);
    cells.row += row;
    cells.col += col;
    return cells;
}

std::wstring CheckMark(const CButton& box) {
    switch (box.GetCheck()) {
    case BST_CHECKED:
        return L"[x] ";
    case BST_INDETERMINATE:
        return L"[-] ";
    default:
        return L"[ ] ";
    }
}

void PaintControl(Terminal& terminal, CDialog& dialog, CWnd& control, int row, int col) {
    const ControlTemplate& t = *control.GetControlTemplate();
    const CellRect cells = ScreenCells(t, row, col);
    const CtlColors colors = dialog.QueryCtlColor(t.id).value_or(kFaceColors);
    FillCells(cells, terminal.Colors(kWindowText, colors.brush));
    const bool enabled = control.IsWindowEnabled() != FALSE;
    attr_t attr = terminal.Colors(enabled ? kWindowText : kGrayText, colors.background) |
                  (enabled ? A_NORMAL : A_DIM);
    if (dialog.GetFocusId() == t.id) {
        attr |= A_REVERSE;
    }
    const std::wstring text = WideText(
        std::u16string_view(control.GetWindowText().GetData(),
                            static_cast<std::size_t>(control.GetWindowText().GetLength())));
    const int textRow = row + TextRow(t.rect);
    switch (t.kind) {
    case ControlKind::AutoCheckBox:
        PutText(textRow, cells.col, CheckMark(static_cast<CButton&>(control)) + OneLine(text),
                cells.cols, attr);
        break;
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: {
        const std::wstring face = ClipToCells(ButtonFace(OneLine(text)), cells.cols);
        PutText(textRow, cells.col + (cells.cols - CellWidth(face)) / 2, face, cells.cols, attr);
        break;
    }
    case ControlKind::StaticText:
    case ControlKind::CenteredStatic: {
        const std::vector<std::wstring> lines = WrapToCells(text, cells.cols);
        const bool centred = t.kind == ControlKind::CenteredStatic;
        for (int i = 0; i < cells.rows && i < static_cast<int>(lines.size()); ++i) {
            const std::wstring& line = lines[static_cast<std::size_t>(i)];
            const int indent = centred ? std::max(0, (cells.cols - CellWidth(line)) / 2) : 0;
            PutText(cells.row + i, cells.col + indent, line, cells.cols - indent, attr);
        }
        break;
    }
    }
}

} // namespace

std::wstring ButtonFace(std::wstring_view text) {
    return L"< " + std::wstring(text) + L" >";
}

void FillCells(const CellRect& area, attr_t attr) {
    attrset(attr);
    for (int r = area.row; r < area.Bottom(); ++r) {
        mvhline(r, area.col, ' ', area.cols);
    }
}

void PutText(int row, int col, std::wstring_view text, int cells, attr_t attr) {
    if (cells <= 0) {
        return;
    }
    const std::wstring clipped = ClipToCells(text, cells);
    attrset(attr);
    mvaddnwstr(row, col, clipped.c_str(), static_cast<int>(clipped.size()));
}

void PaintFrame(const CellRect& area, std::wstring_view caption, std::wstring_view hint,
                attr_t attr) {
    if (area.rows < 2 || area.cols < 2) {
        return;
    }
    attrset(attr);
    const int bottom = area.Bottom() - 1;
    const int right = area.Right() - 1;
    mvhline(area.row, area.col + 1, ACS_HLINE, area.cols - 2);
    mvhline(bottom, area.col + 1, ACS_HLINE, area.cols - 2);
    mvvline(area.row + 1, area.col, ACS_VLINE, area.rows - 2);
    mvvline(area.row + 1, right, ACS_VLINE, area.rows - 2);
    mvaddch(area.row, area.col, ACS_ULCORNER);
    mvaddch(area.row, right, ACS_URCORNER);
    mvaddch(bottom, area.col, ACS_LLCORNER);
    mvaddch(bottom, right, ACS_LRCORNER);
    const int room = area.cols - 4;
    if (!caption.empty() && room > 2) {
        PutText(area.row, area.col + 1, L" " + OneLine(caption) + L" ", room, attr);
    }
    const std::wstring spaced = L" " + std::wstring(hint) + L" ";
    if (!hint.empty() && CellWidth(spaced) <= room) {
        PutText(bottom, right - 1 - CellWidth(spaced), spaced, room, attr);
    }
}

void PaintDialog(Terminal& terminal, CDialog& dialog, int row, int col) {
    CellRect client = DialogCells(*dialog.GetTemplate());
    client.row += row;
    client.col += col;
    const CtlColors colors = dialog.QueryCtlColor().value_or(kFaceColors);
    FillCells(client, terminal.Colors(kWindowText, colors.brush));
    for (const bool transparent : {false, true}) {
        for (CWnd* control : dialog.GetControls()) {
            const ControlTemplate& t = *control->GetControlTemplate();
            if (control->IsWindowVisible() && t.Has(kCtlExTransparent) == transparent) {
                PaintControl(terminal, dialog, *control, row, col);
            }
        }
    }
}
