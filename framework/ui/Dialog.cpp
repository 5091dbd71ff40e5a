// SPDX-License-Identifier: Apache-2.0
#include "framework/ui/Dialog.h"

#include "framework/ui/Button.h"
#include "framework/ui/ResourceTable.h"
#include "framework/ui/Static.h"

#include <algorithm>

namespace {

bool IsButton(ControlKind kind) {
    return kind == ControlKind::AutoCheckBox || kind == ControlKind::PushButton ||
           kind == ControlKind::DefPushButton;
}

/// The dialog's own object for a control, before any member binds to it.
std::unique_ptr<CWnd> MakeControl(ControlKind kind) {
    if (IsButton(kind)) {
        return std::make_unique<CButton>();
    }
    return std::make_unique<CStatic>();
}

/// Counts a handler in progress for as long as it runs, also when it throws.
class BusyScope {
  public:
    explicit BusyScope(int& busy) : m_busy(busy) { ++m_busy; }
    ~BusyScope() { --m_busy; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

  private:
    int& m_busy;
};

} // namespace

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
    if (!pDX->m_pDlgWnd->BindControl(id, control)) {
        pDX->Fail();
    }
}

CDialog::CDialog() : CWnd(0, false, FALSE, TRUE) {}

CDialog::~CDialog() {
    DestroyWindow();
}

BOOL CDialog::Create(HINSTANCE resources, int templateId, CWnd* parent) {
    const DialogTemplate* dialogTemplate = FindDialogTemplate(resources, templateId);
    return dialogTemplate != nullptr ? Create(*dialogTemplate, parent) : FALSE;
}

BOOL CDialog::Create(const DialogTemplate& dialogTemplate, CWnd* parent) {
    if (IsWindow()) {
        return FALSE;
    }
    m_pTemplate = &dialogTemplate;
    SetParent(parent);
    ResetState(dialogTemplate.caption, FALSE, TRUE);
    m_bCentered = dialogTemplate.Has(kDlgCentered);
    m_focusId = 0;
    m_bInitFailed = false;
    SetExists(true);
    CreateControls();
    Notify(WindowChange::Created);

    BOOL wantsDefaultFocus = OnInitDialog();
    if (m_bInitFailed || !IsWindow()) {
        DestroyWindow();
        return FALSE;
    }
    if (wantsDefaultFocus) {
        SetDefaultFocus();
    }
    // Shown after the initialisation, so the first picture is complete.
    if (dialogTemplate.Has(kDlgVisible)) {
        ShowWindow(SW_SHOW);
    }
    return TRUE;
}

void CDialog::CreateControls() {
    m_controls.clear();
    m_controls.reserve(m_pTemplate->controls.size());
    for (const ControlTemplate& control : m_pTemplate->controls) {
        std::unique_ptr<CWnd> own = MakeControl(control.kind);
        own->AttachTo(*this, control);
        own->ResetState(control.text, control.Has(kCtlVisible), !control.Has(kCtlDisabled));
        CWnd* window = own.get();
        m_controls.push_back({&control, std::move(own), window});
    }
}

void CDialog::SetDefaultFocus() {
    // The first control in Tab order that a user could reach.
    for (const ControlSlot& slot : m_controls) {
        CWnd* window = slot.window;
        if (slot.control->Has(kCtlTabStop) && window->IsWindowVisible() &&
            window->IsWindowEnabled()) {
            window->SetFocus();
            return;
        }
    }
}

BOOL CDialog::DestroyWindow() {
    if (!IsWindow()) {
        return FALSE;
    }
    for (ControlSlot& slot : m_controls) {
        slot.window->Detach();
    }
    m_controls.clear();
    m_focusId = 0;
    SetExists(false);
    // Told while the template is still known, so observers can tell which
    // dialog went away.
    Notify(WindowChange::Destroyed);
    m_pTemplate = nullptr;
    return TRUE;
}

int CDialog::FindSlot(int id) const {
    auto it = std::find_if(m_controls.begin(), m_controls.end(),
                           [id](const ControlSlot& slot) { return slot.control->id == id; });
    return it != m_controls.end() ? static_cast<int>(it - m_controls.begin()) : -1;
}

CWnd* CDialog::GetDlgItem(int id) const {
    int index = FindSlot(id);
    return index >= 0 ? m_controls[static_cast<std::size_t>(index)].window : nullptr;
}

std::vector<CWnd*> CDialog::GetControls() const {
    std::vector<CWnd*> windows;
    windows.reserve(m_controls.size());
    for (const ControlSlot& slot : m_controls) {
        windows.push_back(slot.window);
    }
    return windows;
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    if (!IsWindow()) {
        return FALSE;
    }
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return dx.Failed() ? FALSE : TRUE;
}

BOOL CDialog::OnInitDialog() {
    if (!UpdateData(FALSE)) {
        m_bInitFailed = true;
        return FALSE;
    }
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

bool CDialog::BindControl(int id, CWnd& control) {
    int index = FindSlot(id);
    if (index < 0) {
        return false;
    }
    ControlSlot* slot = &m_controls[static_cast<std::size_t>(index)];
    if (slot->window == &control) {
        return true; // bound by an earlier exchange
    }
    if (!slot->own || control.GetParentDialog() != nullptr ||
        !control.CanBindTo(slot->control->kind)) {
        return false;
    }
    control.AttachTo(*this, *slot->control);
    control.AdoptState(*slot->own);
    slot->own->Detach();
    slot->own.reset();
    slot->window = &control;
    return true;
}

void CDialog::ForgetControl(const CWnd& control) {
    if (m_focusId == control.GetDlgCtrlID()) {
        m_focusId = 0;
    }
    std::erase_if(m_controls,
                  [&control](const ControlSlot& slot) { return slot.window == &control; });
}

CWnd* CDialog::MoveFocus(CWnd& control) {
    CWnd* previous = GetFocus();
    if (previous != &control) {
        m_focusId = control.GetDlgCtrlID();
        Notify(WindowChange::Focus);
    }
    return previous;
}

void CDialog::DropFocus(const CWnd& control) {
    // A control that is hidden or disabled loses the focus, and nothing
    // takes it over.
    if (m_focusId != 0 && m_focusId == control.GetDlgCtrlID()) {
        m_focusId = 0;
        Notify(WindowChange::Focus);
    }
}

CWnd* CDialog::GetNextDlgTabItem(const CWnd* pWndCtl, BOOL bPrevious) const {
    const int count = static_cast<int>(m_controls.size());
    if (count == 0) {
        return nullptr;
    }
    int start = pWndCtl != nullptr ? FindSlot(pWndCtl->GetDlgCtrlID()) : -1;
    if (start < 0) {
        start = bPrevious ? 0 : count - 1; // so that one step lands on the first (last)
    }
    const int step = bPrevious ? count - 1 : 1;
    for (int n = 1; n <= count; ++n) {
        const ControlSlot& slot = m_controls[static_cast<std::size_t>((start + n * step) % count)];
        if (slot.control->Has(kCtlTabStop) && slot.window->IsWindowVisible() &&
            slot.window->IsWindowEnabled()) {
            return slot.window;
        }
    }
    return nullptr;
}

int CDialog::GetDefID() const {
    for (const ControlSlot& slot : m_controls) {
        if (slot.control->kind == ControlKind::DefPushButton) {
            return slot.control->id;
        }
    }
    return 0;
}

CWnd* CDialog::ChildWindowFromPoint(POINT point, UINT nFlags) {
    if (!IsWindow() || point.x < 0 || point.y < 0 || point.x >= m_pTemplate->width ||
        point.y >= m_pTemplate->height) {
        return nullptr;
    }
    for (const ControlSlot& slot : m_controls) {
        const DialogRect& r = slot.control->rect;
        if (point.x < r.left || point.x >= r.left + r.width || point.y < r.top ||
            point.y >= r.top + r.height) {
            continue;
        }
        if (((nFlags & CWP_SKIPINVISIBLE) != 0 && !slot.window->IsWindowVisible()) ||
            ((nFlags & CWP_SKIPDISABLED) != 0 && !slot.window->IsWindowEnabled())) {
            continue;
        }
        return slot.window;
    }
    return this;
}

void CDialog::MapClick(int id, std::function<void()> handler) {
    m_clickHandlers[id] = std::move(handler);
}

bool CDialog::AcceptsClick(const CWnd* control) const {
    if (!IsWindow() || !IsWindowVisible() || !IsWindowEnabled() || m_busy > 0) {
        return false;
    }
    return control != nullptr && control->IsWindowVisible() && control->IsWindowEnabled() &&
           IsButton(control->GetControlTemplate()->kind);
}

bool CDialog::Click(int id) {
    CWnd* control = GetDlgItem(id);
    if (!AcceptsClick(control)) {
        return false;
    }
    BusyScope busy(m_busy);
    control->SetFocus();
    if (control->GetControlTemplate()->kind == ControlKind::AutoCheckBox) {
        auto* button = static_cast<CButton*>(control);
        button->SetCheck(button->GetCheck() == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
    }
    auto handler = m_clickHandlers.find(id);
    if (handler != m_clickHandlers.end()) {
        // A copy: the handler may remap its own id while it runs.
        std::function<void()> run = handler->second;
        run();
    }
    return true;
}

std::optional<CtlColors> CDialog::QueryCtlColor() {
    if (!IsWindow()) {
        return std::nullopt;
    }
    return AskColors(this, CTLCOLOR_DLG);
}

std::optional<CtlColors> CDialog::QueryCtlColor(int id) {
    CWnd* control = GetDlgItem(id);
    if (control == nullptr) {
        return std::nullopt;
    }
    ControlKind kind = control->GetControlTemplate()->kind;
    bool pushButton = kind == ControlKind::PushButton || kind == ControlKind::DefPushButton;
    return AskColors(control, pushButton ? CTLCOLOR_BTN : CTLCOLOR_STATIC);
}

CtlColors CDialog::AskColors(CWnd* window, UINT nCtlColor) {
    CDC dc;
    COLORREF brush = OnCtlColor(&dc, window, nCtlColor);
    return {brush, dc.GetBkColor()};
}

COLORREF CDialog::OnCtlColor(CDC* pDC, CWnd*, UINT) {
    pDC->SetBkColor(kDialogFaceColor);
    return kDialogFaceColor;
}
