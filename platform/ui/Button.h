// A button of the UI model: check box or push button.
//
// Holds what a front end needs to render it (text, check state, enabled and
// visible states) and what the control's code reads back. Clicks arrive
// through the dialog that owns it; front ends never change a state the
// dialog would not.
#pragma once

#include "foundation/VELString.h"
#include "platform/WinTypes.h"

constexpr int BST_UNCHECKED = 0;
constexpr int BST_CHECKED = 1;
constexpr int SW_HIDE = 0;
constexpr int SW_SHOW = 5;

class CButton {
  public:
    explicit CButton(int id = 0, BOOL visible = TRUE, BOOL enabled = TRUE)
        : m_id(id), m_bVisible(visible), m_bEnabled(enabled) {}

    int GetDlgCtrlID() const { return m_id; }
    int GetCheck() const { return m_nCheck; }
    void SetCheck(int state) { m_nCheck = state; }
    BOOL IsWindowEnabled() const { return m_bEnabled; }
    void EnableWindow(BOOL enable) { m_bEnabled = enable ? TRUE : FALSE; }
    BOOL IsWindowVisible() const { return m_bVisible; }
    void ShowWindow(int command) { m_bVisible = command != SW_HIDE ? TRUE : FALSE; }
    const CVELString& GetWindowText() const { return m_text; }
    void SetWindowText(const char16_t* text) { m_text.Assign(text); }

  private:
    int m_id;
    BOOL m_bVisible;
    BOOL m_bEnabled;
    int m_nCheck = BST_UNCHECKED;
    CVELString m_text;
};
