// SPDX-License-Identifier: Apache-2.0
#include "host/terminal/ModalBox.h"

#include "framework/ui/MessageBox.h"
#include "host/terminal/DialogPainter.h"
#include "host/terminal/TextCells.h"

#include <algorithm>
#include <cwctype>

namespace {

constexpr int kMargin = 2;    // blank cells inside the frame, left and right
constexpr int kMaxInner = 72; // a box wider than this is hard to read
constexpr int kButtonGap = 2;

/// Lines of `lines` that fit `room` rows; the last one kept says more were cut.
void FitRows(std::vector<std::wstring>& lines, int room) {
    if (static_cast<int>(lines.size()) <= room) {
        return;
    }
    lines.resize(static_cast<std::size_t>(std::max(room, 0)));
    if (!lines.empty()) {
        lines.back() = L"…";
    }
}

} // namespace

ModalBox::ModalBox(std::wstring caption, std::wstring glyph, std::wstring text, std::wstring notes,
                   std::vector<Button> buttons, int cancelId)
    : m_caption(std::move(caption)), m_glyph(std::move(glyph)), m_text(std::move(text)),
      m_notes(std::move(notes)), m_buttons(std::move(buttons)), m_cancelId(cancelId) {}

std::wstring ModalBox::IconGlyph(UINT type) {
    switch (type & MB_ICONMASK) {
    case MB_ICONHAND:
        return L"X";
    case MB_ICONQUESTION:
        return L"?";
    case MB_ICONEXCLAMATION:
        return L"!";
    case MB_ICONASTERISK:
        return L"i";
    default:
        return L"";
    }
}

void ModalBox::Paint(Terminal& terminal, int rows, int cols) {
    const int indent = m_glyph.empty() ? 0 : CellWidth(m_glyph) + 2;
    int buttonsWidth = 0;
    for (const Button& b : m_buttons) {
        buttonsWidth += CellWidth(ButtonFace(b.text)) + kButtonGap;
    }
    buttonsWidth -= kButtonGap;
    // As wide as the longest line needs, within the screen and kMaxInner.
    int wanted = std::max({buttonsWidth, CellWidth(m_caption) + 2, 20});
    for (const std::wstring& line : WrapToCells(m_text, kMaxInner - indent)) {
        wanted = std::max(wanted, CellWidth(line) + indent);
    }
    for (const std::wstring& line : WrapToCells(m_notes, kMaxInner - indent)) {
        wanted = std::max(wanted, CellWidth(line) + indent);
    }
    const int inner = std::min({wanted, kMaxInner, cols - 2 - 2 * kMargin});
    std::vector<std::wstring> text = WrapToCells(m_text, inner - indent);
    std::vector<std::wstring> notes =
        m_notes.empty() ? std::vector<std::wstring>{} : WrapToCells(m_notes, inner - indent);
    // Frame, blank, text, [blank, notes], blank, buttons, frame.
    const int fixed = 5 + (notes.empty() ? 0 : 1);
    FitRows(text, std::max(1, rows - fixed - 1));
    FitRows(notes, rows - fixed - static_cast<int>(text.size()));
    const int height = fixed + static_cast<int>(text.size() + notes.size());
    const int width = inner + 2 + 2 * kMargin;
    const CellRect box{std::max(0, (rows - height) / 2), std::max(0, (cols - width) / 2), height,
                       width};

    const attr_t face = terminal.Colors(kWindowText, kDialogFaceColor);
    FillCells(box, face);
    PaintFrame(box, m_caption, L"", face);
    const int left = box.col + 1 + kMargin;
    int row = box.row + 2;
    if (!m_glyph.empty()) {
        PutText(row, left, m_glyph, indent, face | A_BOLD);
    }
    for (const std::wstring& line : text) {
        PutText(row++, left + indent, line, inner - indent, face);
    }
    if (!notes.empty()) {
        ++row;
    }
    for (const std::wstring& line : notes) {
        PutText(row++, left + indent, line, inner - indent, face);
    }
    row = box.Bottom() - 2;
    int col = box.col + (width - buttonsWidth) / 2;
    m_buttonCells.clear();
    for (std::size_t i = 0; i < m_buttons.size(); ++i) {
        const std::wstring label = ButtonFace(m_buttons[i].text);
        const int w = CellWidth(label);
        PutText(row, col, label, w, face | (i == m_focus ? A_REVERSE : A_NORMAL));
        m_buttonCells.push_back({row, col, 1, w});
        col += w + kButtonGap;
    }
}

int ModalBox::OnKey(int key) {
    const std::size_t count = m_buttons.size();
    switch (key) {
    case '\t':
    case KEY_RIGHT:
    case KEY_DOWN:
        m_focus = (m_focus + 1) % count;
        return 0;
    case KEY_BTAB:
    case KEY_LEFT:
    case KEY_UP:
        m_focus = (m_focus + count - 1) % count;
        return 0;
    case '\n':
    case '\r':
    case ' ':
    case KEY_ENTER:
        return m_buttons[m_focus].id;
    case 27: // Esc
        return m_cancelId;
    default:
        break;
    }
    for (const Button& b : m_buttons) {
        if (key > 0 && key < 0x80 && !b.text.empty() &&
            std::towlower(static_cast<wint_t>(key)) == std::towlower(b.text[0])) {
            return b.id;
        }
    }
    return 0;
}

int ModalBox::OnClick(int row, int col) const {
    for (std::size_t i = 0; i < m_buttonCells.size(); ++i) {
        if (m_buttonCells[i].Holds(row, col)) {
            return m_buttons[i].id;
        }
    }
    return 0;
}
