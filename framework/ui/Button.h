// SPDX-License-Identifier: Apache-2.0
// A button of the UI model: check box or push button.
//
// Holds what a front end needs to render it (text, check state, enabled and
// visible states) and what the control's code reads back. Clicks arrive
// through the dialog that owns it; front ends never change a state the
// dialog would not.
#pragma once

#include "framework/ui/Window.h"

constexpr int BST_UNCHECKED = 0;
constexpr int BST_CHECKED = 1;
constexpr int BST_INDETERMINATE = 2;

class CButton : public CWnd {
  public:
    /// A standalone button exists from construction; bound to a dialog's
    /// control (DDX_Control) it takes that control's id and state instead.
    explicit CButton(int id = 0, BOOL visible = TRUE, BOOL enabled = TRUE)
        : CWnd(id, true, visible, enabled) {}

    int GetCheck() const { return m_nCheck; }
    /// Has no effect on a button that does not exist.
    void SetCheck(int state) {
        if (!IsWindow() || state == m_nCheck) {
            return;
        }
        m_nCheck = state;
        Notify(WindowChange::Check);
    }

  protected:
    bool CanBindTo(ControlKind kind) const override {
        return kind == ControlKind::AutoCheckBox || kind == ControlKind::PushButton ||
               kind == ControlKind::DefPushButton;
    }
    void AdoptState(const CWnd& from) override {
        CWnd::AdoptState(from);
        if (const auto* button = dynamic_cast<const CButton*>(&from)) {
            m_nCheck = button->m_nCheck;
        }
    }

  private:
    int m_nCheck = BST_UNCHECKED;
};
