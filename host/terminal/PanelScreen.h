// SPDX-License-Identifier: Apache-2.0
// The control's panel in a terminal: draws the panel and, over it, the
// property page, the progress window of a run and the message boxes, and
// forwards the user's keys and clicks to the UI model.
//
// Keys: Tab and Shift-Tab (or the arrows) move the focus as the dialog
// orders it; Space clicks the focused control; Enter clicks the default
// button (Synchronize); a mouse click clicks the control under it; F4 opens
// the property page; q or Esc closes. Every click goes through
// CDialog::Click, so the panel's own rules decide what it does.
//
// A run keeps the calling thread until it ends, so what it changes in the
// windows is drawn at once from the window observer. Its live line
// (requests, bytes, the URL being fetched) is fed by the session's status
// callback on the crawl's thread, which only records the figures, and is
// drawn by a ticker thread at most ten times a second.
#pragma once

#include "framework/com/OlePropertyPage.h"
#include "framework/ui/MessageBox.h"
#include "framework/ui/Window.h"
#include "host/common/ControlHost.h"
#include "host/common/ProgressLine.h"
#include "host/terminal/CellLayout.h"
#include "host/terminal/Terminal.h"
#include "platform/cache/CacheFailure.h"
#include "platform/inet/GoOnlinePromptScope.h"

#include <mutex>
#include <string>
#include <vector>

class ModalBox;
class SessionListener;

class PanelScreen {
  public:
    /// How the user left the panel.
    struct Result {
        bool pressed = false; ///< Synchronize was pressed at least once
        /// What the URL cache could not keep in the last run.
        std::vector<UrlCacheFailure> cacheFailures;
    };

    PanelScreen(Terminal& terminal, HostedControl& control);
    ~PanelScreen();
    PanelScreen(const PanelScreen&) = delete;
    PanelScreen& operator=(const PanelScreen&) = delete;

    /// Shows the panel and handles input until the user closes it.
    Result Run();

  private:
    // Drawing; the caller holds the terminal's lock.
    void Paint();
    CellRect PaintPopup(CDialog& dialog, const std::wstring& caption, const std::wstring& hint);
    void PlaceLiveLine(CDialog& progress, const CellRect& client);
    void PaintLiveLine(const ProgressCounts& counts);
    /// The ticker's work: the live line drawn anew when its figures changed.
    void DrawLiveLine();
    /// Takes the lock and draws everything.
    void Refresh();

    // Input.
    void OnKey(int key);
    void OnPageKey(int key);
    void OnMouse();
    void MoveFocus(bool previous);
    void Press(int id);
    int RunBox(ModalBox& box);
    void OpenPropertyPage();
    void ClosePropertyPage(bool apply);

    // What the model and the run report.
    void OnWindowChange(const CWnd& window, WindowChange change);
    int OnMessageBox(const MessageBoxRequest& request);
    bool AskGoOnline(const char16_t* url);
    void OnProgress(const ProgressCounts& counts);

    Terminal& m_terminal;
    HostedControl& m_control;
    CDialog& m_panel;
    std::wstring m_title;
    CWnd m_pageSite; // the property page's window is made in here
    CComPtr<IPropertyPage> m_page;
    std::wstring m_pageCaption;
    CDialog* m_pageDialog = nullptr;
    CDialog* m_progress = nullptr;
    ModalBox* m_box = nullptr;
    SessionListener* m_listener = nullptr; // while a click runs
    Result m_result;
    bool m_quit = false;

    // Shared with the ticker's thread under the terminal's lock.
    bool m_fits = false;
    CellRect m_panelCells{};
    bool m_liveShown = false;
    CellRect m_liveCells{};
    attr_t m_liveAttr = 0;

    // Shared with the crawl's thread under their own lock.
    std::mutex m_countsMutex;
    ProgressCounts m_counts;
    bool m_countsChanged = false;

    ScopedWindowObserver m_observer;
    ScopedMessageBoxSink m_boxes;
    GoOnlinePromptScope m_prompt; // last: it calls back into everything above
};
