// SPDX-License-Identifier: Apache-2.0
#include "host/terminal/PanelScreen.h"
#include "host/common/GoOnlinePrompt.h"

#include "control/resources/ResourceIds.h"
#include "control/resources/TypeLibrary.h"
#include "framework/com/ComRuntime.h"
#include "framework/com/HResult.h"
#include "host/common/PageControl.h"
#include "host/common/RunReport.h"
#include "host/common/SessionListener.h"
#include "host/terminal/DialogPainter.h"
#include "host/terminal/ModalBox.h"
#include "host/terminal/TextCells.h"
#include "host/terminal/Ticker.h"
#include "platform/inet/WinInet.h"
#include "platform/text/Utf8.h"

#include <sstream>

namespace {

constexpr int kEscape = 27;
constexpr int kCtrlL = 12;
/// The live line is drawn at most ten times a second.
constexpr std::chrono::milliseconds kLiveLineInterval{100};

const wchar_t* const kPanelHint =
    L"Tab move  Space click  Enter synchronize  F4 properties  q quit";
const wchar_t* const kPageHint = L"Enter or Esc closes";

bool IsEnter(int key) {
    return key == '\n' || key == '\r' || key == KEY_ENTER;
}

std::wstring Wide(const CVELString& text) {
    return WideText(
        std::u16string_view(text.GetData(), static_cast<std::size_t>(text.GetLength())));
}

/// The dialog `window` is, or nullptr.
CDialog* AsDialog(const CWnd& window) {
    return dynamic_cast<CDialog*>(const_cast<CWnd*>(&window));
}

/// A clicked mouse event, or nothing.
bool ReadClick(MEVENT& event) {
    return getmouse(&event) == OK && (event.bstate & (BUTTON1_PRESSED | BUTTON1_CLICKED)) != 0;
}

} // namespace

PanelScreen::PanelScreen(Terminal& terminal, HostedControl& control)
    : m_terminal(terminal), m_control(control), m_panel(control.Panel()),
      m_title(WideText(control.Title())),
      m_observer(
          [this](const CWnd& window, WindowChange change) { OnWindowChange(window, change); }),
      m_boxes([this](const MessageBoxRequest& request) { return OnMessageBox(request); }),
      m_prompt([this](const char16_t* url) { return AskGoOnline(url); }) {}

PanelScreen::~PanelScreen() {
    if (m_page) {
        ClosePropertyPage(false);
    }
}

PanelScreen::Result PanelScreen::Run() {
    while (!m_quit) {
        Refresh();
        OnKey(m_terminal.ReadKey());
    }
    return m_result;
}

// ---------------------------------------------------------------------------
// Drawing

void PanelScreen::Refresh() {
    const std::lock_guard lock(m_terminal.Lock());
    Paint();
}

void PanelScreen::Paint() {
    attrset(Terminal::DefaultColors());
    erase();
    int rows = 0;
    int cols = 0;
    getmaxyx(stdscr, rows, cols);
    const CellRect panel = DialogCells(*m_panel.GetTemplate());
    m_fits = rows >= panel.rows && cols >= panel.cols;
    m_liveShown = false;
    if (!m_fits) {
        const std::wstring message = L"The panel needs " + std::to_wstring(panel.cols) + L" x " +
                                     std::to_wstring(panel.rows) + L"; this terminal is " +
                                     std::to_wstring(cols) + L" x " + std::to_wstring(rows) +
                                     L". q quits";
        PutText(0, 0, message, cols, Terminal::DefaultColors());
        // A question asked meanwhile stays on screen and answerable: the run
        // that asks it waits for the answer.
        if (m_box != nullptr) {
            m_box->Paint(m_terminal, rows, cols);
        }
        refresh();
        return;
    }
    m_panelCells = {(rows - panel.rows) / 2, (cols - panel.cols) / 2, panel.rows, panel.cols};
    PaintDialog(m_terminal, m_panel, m_panelCells.row, m_panelCells.col);
    // The panel is a child window without a caption: its frame here stands
    // for the page around it, and carries the configured title.
    const CtlColors colors = m_panel.QueryCtlColor().value_or(kFaceColors);
    PaintFrame(m_panelCells, m_title, kPanelHint, m_terminal.Colors(kWindowText, colors.brush));
    if (m_pageDialog != nullptr && m_pageDialog->IsWindowVisible()) {
        PaintPopup(*m_pageDialog, m_pageCaption, kPageHint);
    }
    if (m_progress != nullptr && m_progress->IsWindowVisible()) {
        const CellRect client = PaintPopup(*m_progress, Wide(m_progress->GetWindowText()), L"");
        PlaceLiveLine(*m_progress, client);
        const std::lock_guard counts(m_countsMutex);
        PaintLiveLine(m_counts);
    }
    if (m_box != nullptr) {
        m_box->Paint(m_terminal, rows, cols);
    }
    refresh();
}

CellRect PanelScreen::PaintPopup(CDialog& dialog, const std::wstring& caption,
                                 const std::wstring& hint) {
    // A frame around the client area, the whole centred over the panel.
    const CellRect client = DialogCells(*dialog.GetTemplate());
    CellRect frame{0, 0, client.rows + 2, client.cols + 2};
    frame.row = std::max(0, m_panelCells.row + (m_panelCells.rows - frame.rows) / 2);
    frame.col = std::max(0, m_panelCells.col + (m_panelCells.cols - frame.cols) / 2);
    PaintDialog(m_terminal, dialog, frame.row + 1, frame.col + 1);
    const CtlColors colors = dialog.QueryCtlColor().value_or(kFaceColors);
    PaintFrame(frame, caption, hint, m_terminal.Colors(kWindowText, colors.brush));
    return {frame.row + 1, frame.col + 1, client.rows, client.cols};
}

void PanelScreen::PlaceLiveLine(CDialog& progress, const CellRect& client) {
    // The line under the progress text, as wide as it.
    CellRect line{client.Bottom() - 1, client.col, 1, client.cols};
    if (const CWnd* text = progress.GetDlgItem(IDC_PROGRESS_TEXT)) {
        const CellRect cells = ControlCells(text->GetControlTemplate()->rect);
        line.row = client.row + std::min(cells.Bottom(), client.rows - 1);
        line.col = client.col + cells.col;
        line.cols = cells.cols;
    }
    const CtlColors colors = progress.QueryCtlColor().value_or(kFaceColors);
    m_liveCells = line;
    m_liveAttr = m_terminal.Colors(kGrayText, colors.brush);
    m_liveShown = true;
}

void PanelScreen::PaintLiveLine(const ProgressCounts& counts) {
    FillCells(m_liveCells, m_liveAttr);
    if (counts.requests == 0) {
        return;
    }
    const std::wstring text = ClipToCells(WideText(DescribeProgress(counts)), m_liveCells.cols);
    PutText(m_liveCells.row, m_liveCells.col + (m_liveCells.cols - CellWidth(text)) / 2, text,
            m_liveCells.cols, m_liveAttr);
}

// ---------------------------------------------------------------------------
// Input

void PanelScreen::OnKey(int key) {
    if (key == KEY_RESIZE || key == ERR) {
        return; // the loop draws anew
    }
    if (key == kCtrlL) {
        clearok(curscr, TRUE);
        return;
    }
    if (m_page) {
        OnPageKey(key);
        return;
    }
    if (key == 'q' || key == 'Q' || key == kEscape) {
        m_quit = true;
        return;
    }
    if (!m_fits) {
        return; // nothing is acted on that the user cannot see
    }
    if (key == '\t' || key == KEY_DOWN || key == KEY_RIGHT) {
        MoveFocus(false);
    } else if (key == KEY_BTAB || key == KEY_UP || key == KEY_LEFT) {
        MoveFocus(true);
    } else if (key == ' ') {
        if (const CWnd* focus = m_panel.GetFocus()) {
            Press(focus->GetDlgCtrlID());
        }
    } else if (IsEnter(key)) {
        if (const int id = m_panel.GetDefID(); id != 0) {
            Press(id);
        }
    } else if (key == KEY_F(4)) {
        OpenPropertyPage();
    } else if (key == KEY_MOUSE) {
        OnMouse();
    }
}

void PanelScreen::OnPageKey(int key) {
    if (IsEnter(key)) {
        ClosePropertyPage(true);
    } else if (key == kEscape) {
        ClosePropertyPage(false);
    }
}

void PanelScreen::OnMouse() {
    MEVENT event{};
    if (!ReadClick(event) || !m_panelCells.Holds(event.y, event.x)) {
        return;
    }
    const POINT point = CellCentre(event.y - m_panelCells.row, event.x - m_panelCells.col);
    const CWnd* hit = m_panel.ChildWindowFromPoint(point, CWP_SKIPINVISIBLE);
    if (hit != nullptr && hit != &m_panel) {
        Press(hit->GetDlgCtrlID());
    }
}

void PanelScreen::MoveFocus(bool previous) {
    if (CWnd* next = m_panel.GetNextDlgTabItem(m_panel.GetFocus(), previous ? TRUE : FALSE)) {
        next->SetFocus();
    }
}

void PanelScreen::Press(int id) {
    {
        const std::lock_guard lock(m_countsMutex);
        m_counts = {};
        m_countsChanged = false;
    }
    ProgressLine line([this](const ProgressCounts& counts) { OnProgress(counts); });
    SessionListener listener(m_control.InternetSession(), &line);
    const Ticker ticker(kLiveLineInterval, [this] { DrawLiveLine(); });
    struct Reset {
        SessionListener*& listener;
        ~Reset() { listener = nullptr; }
    } reset{m_listener};
    m_listener = &listener;
    if (m_panel.Click(id) && id == m_panel.GetDefID()) {
        m_result.pressed = true;
        m_result.cacheFailures = listener.CacheFailures();
    }
}

int PanelScreen::RunBox(ModalBox& box) {
    struct Reset {
        ModalBox*& box;
        ~Reset() { box = nullptr; }
    } reset{m_box};
    m_box = &box;
    // Keys typed while a run held the panel must not answer a box unseen.
    flushinp();
    for (;;) {
        Refresh();
        const int key = m_terminal.ReadKey();
        int answer = 0;
        MEVENT event{};
        if (key == KEY_MOUSE) {
            answer = ReadClick(event) ? box.OnClick(event.y, event.x) : 0;
        } else if (key != KEY_RESIZE && key != ERR) {
            answer = box.OnKey(key);
        }
        if (answer != 0) {
            return answer;
        }
    }
}

void PanelScreen::OpenPropertyPage() {
    CComPtr<IPropertyPage> page;
    PROPPAGEINFO info{};
    HRESULT hr = CreatePropertyPage(m_control.Unknown(), page, info);
    if (SUCCEEDED(hr)) {
        IUnknown* objects[] = {m_control.Unknown()};
        page->SetObjects(1, objects);
        const RECT area{0, 0, info.size.cx, info.size.cy};
        hr = page->Activate(&m_pageSite, &area, TRUE);
        if (FAILED(hr) || m_pageDialog == nullptr) {
            page->SetObjects(0, nullptr);
            hr = FAILED(hr) ? hr : E_UNEXPECTED;
        }
    }
    if (FAILED(hr)) {
        ModalBox box(m_title, L"!",
                     L"The property page could not be shown: " + WideText(DescribeHResult(hr)), L"",
                     {{IDOK, L"OK"}}, IDOK);
        RunBox(box);
        return;
    }
    m_pageCaption = WideText(info.pszTitle != nullptr ? info.pszTitle : u"");
    m_page = std::move(page);
}

void PanelScreen::ClosePropertyPage(bool apply) {
    if (apply && m_page->IsPageDirty() == S_OK) {
        m_page->Apply();
    }
    m_page->Deactivate();
    m_page->SetObjects(0, nullptr);
    m_page.Reset();
}

// ---------------------------------------------------------------------------
// What the model and the run report

void PanelScreen::OnWindowChange(const CWnd& window, WindowChange change) {
    {
        const std::lock_guard lock(m_terminal.Lock());
        CDialog* dialog = AsDialog(window);
        if (change == WindowChange::Created && dialog != nullptr) {
            if (dialog->GetTemplateId() == IDD_SYNCH_PROGRESS) {
                m_progress = dialog;
            } else if (dialog->GetParent() == &m_pageSite) {
                m_pageDialog = dialog;
            }
        } else if (change == WindowChange::Destroyed && dialog != nullptr) {
            m_progress = dialog == m_progress ? nullptr : m_progress;
            m_pageDialog = dialog == m_pageDialog ? nullptr : m_pageDialog;
        }
    }
    // A click's handler keeps this thread until it returns, so what it
    // changes is shown now, not after it.
    if (m_listener != nullptr) {
        Refresh();
    }
}

int PanelScreen::OnMessageBox(const MessageBoxRequest& request) {
    // Under the configured message, what the run leaves to say: why a
    // subscription failed, what the page left empty, what was not kept.
    std::wstring notes;
    if (m_listener != nullptr) {
        std::ostringstream report;
        ReportRun(report, "", m_control, m_listener->CacheFailures(), 0);
        notes = WideText(report.str());
        while (!notes.empty() && notes.back() == L'\n') {
            notes.pop_back();
        }
    }
    const bool yesNo = (request.type & MB_TYPEMASK) == MB_YESNO;
    std::vector<ModalBox::Button> buttons;
    if (yesNo) {
        buttons = {{IDYES, L"Yes"}, {IDNO, L"No"}};
    } else {
        buttons = {{IDOK, L"OK"}}; // the control asks for nothing else
    }
    ModalBox box(WideText(request.caption), ModalBox::IconGlyph(request.type),
                 WideText(request.text), notes, std::move(buttons), yesNo ? IDNO : IDOK);
    return RunBox(box);
}

bool PanelScreen::AskGoOnline(const char16_t* url) {
    ModalBox box(WideText(std::string_view(kGoOnlineCaption)), ModalBox::IconGlyph(MB_ICONQUESTION),
                 WideText(GoOnlineQuestion(Utf16ToUtf8(url != nullptr ? url : u""))), L"",
                 {{IDYES, L"Yes"}, {IDNO, L"No"}}, IDNO);
    return RunBox(box) == IDYES;
}

void PanelScreen::OnProgress(const ProgressCounts& counts) {
    const std::lock_guard lock(m_countsMutex);
    m_counts = counts;
    m_countsChanged = true;
}

void PanelScreen::DrawLiveLine() {
    ProgressCounts counts;
    {
        const std::lock_guard lock(m_countsMutex);
        if (!m_countsChanged) {
            return;
        }
        counts = m_counts;
        m_countsChanged = false;
    }
    const std::lock_guard lock(m_terminal.Lock());
    if (m_fits && m_liveShown) {
        PaintLiveLine(counts);
        refresh();
    }
}
