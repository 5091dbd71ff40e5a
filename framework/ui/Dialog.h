// SPDX-License-Identifier: Apache-2.0
// CDialog: a modeless dialog of the UI model, made from a dialog template.
//
// Create instantiates every control of the template (kind, position, initial
// states, text), then runs OnInitDialog, whose base binds member controls
// through DoDataExchange/DDX_Control: the member object then *is* that
// control, as with the platform's subclassing. A derived dialog maps clicks
// to its handlers with MapClick, the equivalent of a message map.
//
// Front ends call Click to deliver a user's click, QueryCtlColor to learn
// the colours to paint with, and read the controls to render them. A click
// reaches only what a user could click: an existing, visible, enabled
// control of a visible, enabled dialog that is not already busy in a handler.
#pragma once

#include "framework/ui/DialogTemplate.h"
#include "framework/ui/Gdi.h"
#include "framework/ui/Window.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class CDialog;

/// One pass of data exchange between a dialog's controls and its members.
class CDataExchange {
  public:
    CDataExchange(CDialog* dialog, BOOL saveAndValidate)
        : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}

    /// Marks the exchange as failed; the pass goes on and UpdateData reports it.
    void Fail() { m_bFailed = true; }
    bool Failed() const { return m_bFailed; }

    CDialog* m_pDlgWnd;
    BOOL m_bSaveAndValidate;

  private:
    bool m_bFailed = false;
};

/// Binds `control` to the dialog's control `id`. Fails the exchange when the
/// dialog has no such control, another object already stands for it, or the
/// object cannot stand for that kind (CButton for buttons, CStatic for texts).
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

// What ChildWindowFromPoint passes over.
constexpr UINT CWP_ALL = 0x0000;
constexpr UINT CWP_SKIPINVISIBLE = 0x0001;
constexpr UINT CWP_SKIPDISABLED = 0x0002;

/// The colours a colour query answers with.
struct CtlColors {
    COLORREF brush;      ///< fill the window's background with this
    COLORREF background; ///< background behind the window's text
};

class CDialog : public CWnd {
  public:
    CDialog();
    ~CDialog() override;

    /// Creates the window modeless from the template `templateId` of the
    /// module `resources` (ResourceTable.h), with
    /// `parent` as its parent (child) or owner (popup). Fails when the
    /// window already exists, the template is unknown or the data exchange
    /// of the initialisation fails.
    BOOL Create(HINSTANCE resources, int templateId, CWnd* parent = nullptr);
    /// As above from a template of the caller's, which must outlive the window.
    BOOL Create(const DialogTemplate& dialogTemplate, CWnd* parent = nullptr);
    /// Destroys the window and its controls; bound members keep their last
    /// state but no longer exist. FALSE when there was no window.
    BOOL DestroyWindow();

    /// The template of the window, or nullptr when it does not exist.
    const DialogTemplate* GetTemplate() const { return m_pTemplate; }
    /// The template id, or 0 when the window does not exist.
    int GetTemplateId() const { return m_pTemplate != nullptr ? m_pTemplate->id : 0; }
    /// The control `id`, or nullptr.
    CWnd* GetDlgItem(int id) const;
    /// The controls in template order, for rendering.
    std::vector<CWnd*> GetControls() const;

    /// Runs the data exchange; FALSE when it failed or there is no window.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    void CenterWindow() { m_bCentered = true; }
    /// Whether the window is to be centred on the screen.
    bool IsCentered() const { return m_bCentered; }

    /// The control the Tab key (or Shift-Tab, `bPrevious`) moves the focus
    /// to from `pWndCtl`: the next (previous) tab stop in template order that
    /// is visible and enabled, wrapping around. A null `pWndCtl` starts the
    /// search so that the first (last) such control is found. Gives
    /// `pWndCtl` itself when no other control qualifies, and nullptr when
    /// none does or the window does not exist.
    CWnd* GetNextDlgTabItem(const CWnd* pWndCtl, BOOL bPrevious = FALSE) const;
    /// The id of the default push button, which the Enter key presses, or 0.
    int GetDefID() const;
    /// The control under `point` (dialog units from the dialog's top left):
    /// the first in template order whose rectangle holds it, passing over
    /// hidden or disabled ones as `nFlags` asks. The dialog itself when the
    /// point is inside it but on no control; nullptr when it is outside or
    /// the window does not exist.
    CWnd* ChildWindowFromPoint(POINT point, UINT nFlags = CWP_ALL);

    /// The id of the control with the keyboard focus, or 0.
    int GetFocusId() const { return m_focusId; }
    CWnd* GetFocus() const { return m_focusId != 0 ? GetDlgItem(m_focusId) : nullptr; }

    /// A user's click on control `id`: the control takes the focus, an auto
    /// check box toggles, then the mapped handler runs. Returns false, changing nothing, when the
    /// click could not reach the control.
    bool Click(int id);
    /// The colours for the dialog's own background.
    std::optional<CtlColors> QueryCtlColor();
    /// The colours for control `id`; nothing when there is no such control.
    std::optional<CtlColors> QueryCtlColor(int id);

  protected:
    /// Base: binds the members (UpdateData(FALSE)) and returns TRUE, asking
    /// for the default focus; return FALSE when the focus was set here.
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange* pDX);
    /// Answers a colour request of kind `nCtlColor` (CTLCOLOR_*) for `pWnd`,
    /// the dialog itself or one of its controls, with the brush colour.
    /// Base: the dialog face colour for text background and brush.
    virtual COLORREF OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
    /// Makes `handler` answer clicks of control `id`.
    void MapClick(int id, std::function<void()> handler);

  private:
    friend class CWnd;
    friend void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

    struct ControlSlot {
        const ControlTemplate* control;
        std::unique_ptr<CWnd> own; ///< the dialog's object until a member binds
        CWnd* window;              ///< the object that stands for the control
    };

    void CreateControls();
    void SetDefaultFocus();
    /// Index of control `id` in m_controls, or -1.
    int FindSlot(int id) const;
    bool BindControl(int id, CWnd& control);
    void ForgetControl(const CWnd& control);
    CWnd* MoveFocus(CWnd& control);
    void DropFocus(const CWnd& control);
    bool AcceptsClick(const CWnd* control) const;
    CtlColors AskColors(CWnd* window, UINT nCtlColor);

    const DialogTemplate* m_pTemplate = nullptr;
    std::vector<ControlSlot> m_controls;
    std::map<int, std::function<void()>> m_clickHandlers;
    int m_focusId = 0;
    int m_busy = 0;
    bool m_bCentered = false;
    bool m_bInitFailed = false;
};
