// SPDX-License-Identifier: Apache-2.0
#include "framework/ui/Window.h"

#include "foundation/TextUnits.h"
#include "framework/ui/Dialog.h"
#include "framework/ui/MessageBox.h"

namespace {

WindowObserver& Observer() {
    static WindowObserver observer;
    return observer;
}

} // namespace

WindowObserver SetWindowObserver(WindowObserver observer) {
    WindowObserver previous = std::move(Observer());
    Observer() = std::move(observer);
    return previous;
}

CWnd::CWnd() : CWnd(0, true, TRUE, TRUE) {}

CWnd::CWnd(int id, bool exists, BOOL visible, BOOL enabled)
    : m_id(id), m_bExists(exists), m_bVisible(visible ? TRUE : FALSE),
      m_bEnabled(enabled ? TRUE : FALSE) {}

CWnd::~CWnd() {
    // A control object that dies while its dialog lives takes its control
    // with it, so the dialog never reaches a dead object.
    if (m_pDialog != nullptr) {
        m_pDialog->ForgetControl(*this);
    }
}

void CWnd::Notify(WindowChange change) const {
    // A copy, so that an observer may replace itself while it runs.
    WindowObserver observer = Observer();
    if (observer && (m_bExists || change == WindowChange::Destroyed)) {
        observer(*this, change);
    }
}

void CWnd::ResetState(const char16_t* text, BOOL visible, BOOL enabled) {
    m_text.Assign(text != nullptr ? text : u"");
    m_bVisible = visible ? TRUE : FALSE;
    m_bEnabled = enabled ? TRUE : FALSE;
}

void CWnd::SetWindowText(const char16_t* text) {
    if (!m_bExists) {
        return;
    }
    if (text == nullptr) {
        text = u"";
    }
    if (vel::Compare(m_text.GetData(), text) == 0) {
        return;
    }
    m_text.Assign(text);
    Notify(WindowChange::Text);
}

BOOL CWnd::ShowWindow(int command) {
    BOOL wasVisible = m_bVisible;
    BOOL visible = command != SW_HIDE ? TRUE : FALSE;
    if (!m_bExists || visible == wasVisible) {
        return m_bExists ? wasVisible : FALSE;
    }
    m_bVisible = visible;
    if (!visible && m_pDialog != nullptr) {
        m_pDialog->DropFocus(*this);
    }
    Notify(WindowChange::Visibility);
    return wasVisible;
}

BOOL CWnd::EnableWindow(BOOL enable) {
    BOOL wasDisabled = m_bEnabled ? FALSE : TRUE;
    BOOL enabled = enable ? TRUE : FALSE;
    if (!m_bExists || enabled == m_bEnabled) {
        return m_bExists ? wasDisabled : FALSE;
    }
    m_bEnabled = enabled;
    if (!enabled && m_pDialog != nullptr) {
        m_pDialog->DropFocus(*this);
    }
    Notify(WindowChange::Enabled);
    return wasDisabled;
}

CWnd* CWnd::SetFocus() {
    if (m_pDialog == nullptr || !m_bExists || !m_bVisible || !m_bEnabled) {
        return nullptr;
    }
    return m_pDialog->MoveFocus(*this);
}

int CWnd::MessageBox(const char16_t* text, const char16_t* caption, UINT type) {
    return MessageBoxW(this, text, caption, type);
}

bool CWnd::CanBindTo(ControlKind) const {
    // A plain window has no control behaviour to offer; buttons and texts
    // bind through CButton and CStatic.
    return false;
}

void CWnd::AdoptState(const CWnd& from) {
    m_text.Assign(from.m_text);
    m_bVisible = from.m_bVisible;
    m_bEnabled = from.m_bEnabled;
}

void CWnd::AttachTo(CDialog& dialog, const ControlTemplate& control) {
    m_id = control.id;
    m_pDialog = &dialog;
    m_pParent = &dialog;
    m_pControlTemplate = &control;
    m_bExists = true;
}

void CWnd::Detach() {
    m_pDialog = nullptr;
    m_pParent = nullptr;
    m_bExists = false;
}
