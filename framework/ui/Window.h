// SPDX-License-Identifier: Apache-2.0
// CWnd: the state of one window of the UI model.
//
// A window has a text (caption or label), a visible and an enabled state,
// and belongs to a parent. The control's code changes these through the
// same calls it would make on the platform; front ends only read them and
// learn of changes through the window observer, so what they render is
// exactly what the code set.
//
// Existence: a plain window and a standalone control exist from
// construction; a dialog exists between Create and DestroyWindow; a control
// of a dialog exists while the dialog does. Requests to a window that does
// not exist change nothing, and its getters keep the last state.
#pragma once

#include "foundation/VELString.h"
#include "framework/ui/DialogTemplate.h"
#include "platform/kernel/WinTypes.h"

#include <functional>

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOW = 5;

class CDialog;

/// What changed in a window, as told to the window observer.
enum class WindowChange {
    Created,    ///< a dialog was created, its controls with it
    Destroyed,  ///< a dialog was destroyed, its controls with it
    Text,       ///< the caption or label changed
    Visibility, ///< the window was shown or hidden
    Enabled,    ///< the window was enabled or disabled
    Check,      ///< a button's check state changed
    Focus,      ///< told by a dialog: its focus moved to another control or to none
};

class CWnd {
  public:
    /// A plain window of the front end's own, e.g. the site a dialog is
    /// created in. It exists, visible and enabled, from construction.
    CWnd();
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    /// Whether the window exists (see the top of this file).
    BOOL IsWindow() const { return m_bExists ? TRUE : FALSE; }
    int GetDlgCtrlID() const { return m_id; }
    /// The parent given at creation; for a control, its dialog.
    CWnd* GetParent() const { return m_pParent; }
    /// The dialog this control belongs to; nullptr for any other window.
    CDialog* GetParentDialog() const { return m_pDialog; }
    /// The template this control was created from; nullptr for any other window.
    const ControlTemplate* GetControlTemplate() const { return m_pControlTemplate; }

    const CVELString& GetWindowText() const { return m_text; }
    void SetWindowText(const char16_t* text);
    void SetWindowText(const CVELString& text) { SetWindowText(text.GetData()); }

    /// The window's own visible state; a control of a hidden dialog keeps
    /// its own state (the dialog's is asked separately).
    BOOL IsWindowVisible() const { return m_bVisible; }
    /// SW_HIDE hides, any other command shows. Returns whether the window
    /// was visible before.
    BOOL ShowWindow(int command);
    BOOL IsWindowEnabled() const { return m_bEnabled; }
    /// Returns whether the window was disabled before.
    BOOL EnableWindow(BOOL enable);

    /// Gives the keyboard focus to this control of a dialog. A hidden or
    /// disabled control cannot take it. Returns the control that had the
    /// focus, or nullptr (also when refused).
    CWnd* SetFocus();

    /// A message box owned by this window (framework/ui/MessageBox.h).
    int MessageBox(const char16_t* text, const char16_t* caption = nullptr, UINT type = 0);

  protected:
    CWnd(int id, bool exists, BOOL visible, BOOL enabled);

    /// Tells the observer, if one is installed and the window exists.
    void Notify(WindowChange change) const;
    void SetExists(bool exists) { m_bExists = exists; }
    void SetParent(CWnd* parent) { m_pParent = parent; }
    /// Sets the state without telling anyone; for creation from a template.
    void ResetState(const char16_t* text, BOOL visible, BOOL enabled);

    /// Whether this object can stand for a control of the given kind.
    virtual bool CanBindTo(ControlKind kind) const;
    /// Takes over the state of the dialog's own object for the same control.
    virtual void AdoptState(const CWnd& from);

  private:
    friend class CDialog;

    void AttachTo(CDialog& dialog, const ControlTemplate& control);
    void Detach();

    int m_id;
    bool m_bExists;
    BOOL m_bVisible;
    BOOL m_bEnabled;
    CVELString m_text;
    CWnd* m_pParent = nullptr;
    CDialog* m_pDialog = nullptr;
    const ControlTemplate* m_pControlTemplate = nullptr;
};

/// Receives every change of a window that exists, as it happens.
using WindowObserver = std::function<void(const CWnd& window, WindowChange change)>;

/// Installs the observer (an empty one: none) and returns the previous one.
/// The UI model lives on one thread; so does the observer.
WindowObserver SetWindowObserver(WindowObserver observer);

/// Installs an observer for its own lifetime and then puts back the previous one.
class ScopedWindowObserver {
  public:
    explicit ScopedWindowObserver(WindowObserver observer)
        : m_previous(SetWindowObserver(std::move(observer))) {}
    ~ScopedWindowObserver() { SetWindowObserver(std::move(m_previous)); }
    ScopedWindowObserver(const ScopedWindowObserver&) = delete;
    ScopedWindowObserver& operator=(const ScopedWindowObserver&) = delete;

  private:
    WindowObserver m_previous;
};
